# Options every Zembrik target shares, applied per target (no global flags).
function(zembrik_target target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(WIN32)
      # GCC does not align Win64's stack for the 32- and 64-byte vectors it
      # spills there: the assembler makes its aligned moves unaligned ones.
      target_compile_options(${target} PRIVATE -Wa,-muse-unaligned-vector-move)
      # Windows' headers without min and max macros, in their wide-character form.
      target_compile_definitions(${target} PRIVATE NOMINMAX UNICODE _UNICODE)
    elseif(NOT ZEMBRIK_SANITIZE AND NOT ZEMBRIK_FUZZ)
      # Release builds are hardened as Debian builds its packages: the C
      # library checks buffer sizes it can see, and the relocations are bound
      # at start and then made read-only.
      target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-D_FORTIFY_SOURCE=2>)
      target_link_options(${target} PRIVATE $<$<CONFIG:Release>:LINKER:-z,relro,-z,now>)
    endif()
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
  endif()
endfunction()

# A Qt target: moc and rcc on, Qt's string casts kept explicit.
function(zembrik_qt_target target)
  zembrik_target(${target})
  set_target_properties(${target} PROPERTIES AUTOMOC ON AUTORCC ON)
endfunction()

# A test executable registered with CTest; GUI tests run on the offscreen platform.
function(zembrik_test name)
  add_executable(${name} ${ARGN})
  zembrik_qt_target(${name})
  target_link_libraries(${name} PRIVATE Qt6::Test)
  if(ZEMBRIK_WINE_ENV)
    # Under Wine the test's own output is lost on a pipe: it goes to a file
    # beside the test, which windows/build-windows.sh shows for a failure.
    add_test(NAME ${name} COMMAND ${name} -o "Z:${CMAKE_CURRENT_BINARY_DIR}/${name}.txt,txt")
    # Under Wine, ctest now and then misses a test's end (the test has
    # written its totals): the bound is shorter there, and the script tries
    # such a test once more.
    set(timeout 120)
  else()
    add_test(NAME ${name} COMMAND ${name})
    set(timeout 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;${ZEMBRIK_SANITIZER_ENV};${ZEMBRIK_WINE_ENV}"
    TIMEOUT ${timeout})
endfunction()
