# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=windows/mingw-w64-x86_64.cmake \
#         -DZEMBRIK_WINDOWS_DEPS=<prefix made by windows/build-deps.sh> ...
#
# The posix thread model is named outright: Qt and std::thread need it, and
# the win32 one has no std::thread in GCC 12, whatever update-alternatives says.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(ZEMBRIK_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEMBRIK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEMBRIK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEMBRIK_MINGW}-windres)
set(CMAKE_AR ${ZEMBRIK_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZEMBRIK_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers, libraries and CMake packages come only from MinGW's own tree and
# the dependency prefix: the build machine's libjpeg.a or libz.a are Linux
# objects that would link into nothing. Programs (moc, nasm, pkg-config) are
# the build machine's.
if(NOT ZEMBRIK_WINDOWS_DEPS AND DEFINED ENV{ZEMBRIK_WINDOWS_DEPS})
  set(ZEMBRIK_WINDOWS_DEPS "$ENV{ZEMBRIK_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${ZEMBRIK_MINGW})
if(ZEMBRIK_WINDOWS_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${ZEMBRIK_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# try_compile projects read this file again and need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZEMBRIK_WINDOWS_DEPS)

# Only the prefix's .pc files, never the build machine's.
if(ZEMBRIK_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${ZEMBRIK_WINDOWS_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# Wine runs the test programs the build makes (ctest, try_run).
find_program(ZEMBRIK_WINE NAMES wine wine64)
if(ZEMBRIK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEMBRIK_WINE})
endif()
