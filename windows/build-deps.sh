#!/usr/bin/env bash
# Builds the libraries the Windows build of Zembrik links, from Debian's own
# source packages, with Debian's MinGW-w64 cross compilers, into a cache
# outside the build folder:
#
#   ${XDG_CACHE_HOME:-~/.cache}/zembrik/windows-deps/<key>/
#
# The key is a hash of the source package versions apt knows, the compiler's
# and Qt host tools' versions, and this folder's scripts and patches: a second
# run with the same key does nothing, and a change to any of them builds anew.
#
#   windows/build-deps.sh            build what is missing, print the prefix
#   windows/build-deps.sh --prefix   print the prefix for the current key only
#
# What goes in: Qt 6 (Core, Gui, Widgets, Test as DLLs; the windows platform
# plugin, the windowsvista style, image formats JPEG, GIF, WebP, TIFF) on
# Debian's host tools (QT_HOST_PATH=/usr), and as static libraries zlib,
# expat, libjpeg-turbo, libwebp, libtiff, libde265, dav1d, libheif and exiv2.
# Qt's own translations (.qm) are copied from qt6-translations-l10n: they are
# the same files on every system.
#
# Missing Debian packages are installed when run as root; otherwise the exact
# apt-get line is printed and nothing else is done. Set ZEMBRIK_WINDOWS_CACHE
# to build somewhere else, ZEMBRIK_JOBS for the number of parallel jobs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

CACHE_ROOT=${ZEMBRIK_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zembrik/windows-deps}
JOBS=${ZEMBRIK_JOBS:-$(nproc)}
MINGW=x86_64-w64-mingw32

# The cross compilers, the tools the libraries' builds run (nasm for the SIMD
# code of libjpeg-turbo and dav1d, meson for dav1d), Qt's host tools of the
# same version as the Qt built here, and what runs and packages the result.
PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          cmake ninja-build meson nasm pkg-config perl dpkg-dev xz-utils bzip2
          qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
          wine wine64 nsis msitools)
# In build order: each is linked by those after it.
SOURCES=(zlib expat libjpeg-turbo libwebp tiff libde265 dav1d libheif exiv2 qt6-base qt6-imageformats)

say() { echo "build-deps: $*" >&2; }

need_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "The Windows build needs these Debian packages. Install them with:" >&2
      echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
      exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
  # The posix thread model (std::thread, Qt) also for plain x86_64-w64-mingw32-g++.
  local tool
  for tool in gcc g++; do
    if [ "$(readlink -f "/usr/bin/$MINGW-$tool")" != "/usr/bin/$MINGW-$tool-posix" ]; then
      if [ "$(id -u)" -ne 0 ]; then
        echo "Switch MinGW-w64 to the posix thread model with:" >&2
        echo "  sudo update-alternatives --set $MINGW-$tool /usr/bin/$MINGW-$tool-posix" >&2
        exit 1
      fi
      update-alternatives --set "$MINGW-$tool" "/usr/bin/$MINGW-$tool-posix" >/dev/null
    fi
  done
}

# apt-get source needs deb-src entries: a copy of the archive's own entry.
need_deb_src() {
  if grep -rqs -e '^Types:.*deb-src' -e '^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  local list=/etc/apt/sources.list.d/debian.sources copy=/etc/apt/sources.list.d/zembrik-deb-src.sources
  [ -f "$list" ] || { say "no $list to copy deb-src entries from; add deb-src lines for the archive by hand"; exit 1; }
  if [ "$(id -u)" -ne 0 ]; then
    echo "The Windows build fetches Debian source packages. Add deb-src entries with:" >&2
    echo "  sed 's/^Types: deb\$/Types: deb-src/' $list | sudo tee $copy && sudo apt-get update" >&2
    exit 1
  fi
  sed 's/^Types: deb$/Types: deb-src/' "$list" >"$copy"
  apt-get update -qq
}

# Versions apt offers for source package $1, newest first.
source_versions() {
  local versions v sorted=() i
  versions=$(apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -u)
  for v in $versions; do
    i=${#sorted[@]}
    sorted+=("$v")
    while [ "$i" -gt 0 ] && dpkg --compare-versions "${sorted[i-1]}" lt "$v"; do
      sorted[i]=${sorted[i-1]}
      i=$((i - 1))
    done
    sorted[i]=$v
  done
  [ ${#sorted[@]} -gt 0 ] || { say "apt knows no source package $1"; exit 1; }
  printf '%s\n' "${sorted[@]}"
}

compute_key() {
  {
    local p
    for p in "${SOURCES[@]}"; do echo "$p $(source_versions "$p" | tr '\n' ' ')"; done
    dpkg-query -W gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix qt6-base-dev-tools qt6-translations-l10n
    cat "$here"/build-deps.sh "$here"/*.cmake "$here"/*.patch
  } | sha256sum | cut -c1-16
}

# Fetches source package $1 into $DOWNLOADS (once) and unpacks it with
# Debian's patches applied into $WORK/src/$1. The newest version whose files
# the archive hands out is taken: a security update's source can be missing
# from a mirror that has its binaries.
fetch_source() {
  local pkg=$1 v plain dsc
  for v in $(source_versions "$pkg"); do
    plain=${v#*:}
    dsc=$DOWNLOADS/${pkg}_${plain}.dsc
    if [ ! -f "$DOWNLOADS/${pkg}_${plain}.fetched" ]; then
      if ! (cd "$DOWNLOADS" && apt-get source -qq --download-only "$pkg=$v" >"$WORK/fetch-$pkg.log" 2>&1); then
        say "$pkg $v: the archive does not hand out its source; trying an older version"
        continue
      fi
      touch "$DOWNLOADS/${pkg}_${plain}.fetched"
    fi
    echo "$pkg $v" >>"$WORK/versions"
    # A run that stopped halfway left this unpacked: its build folder is
    # still valid for these files.
    [ -f "$WORK/src/$pkg.unpacked" ] && return 0
    rm -rf "$WORK/src/$pkg"
    dpkg-source -x "$dsc" "$WORK/src/$pkg" >"$WORK/unpack-$pkg.log" 2>&1 ||
      { cat "$WORK/unpack-$pkg.log" >&2; exit 1; }
    if [ "$pkg" = qt6-base ]; then
      patch -d "$WORK/src/$pkg" -p1 <"$here/qtbase-isSoftwareGl-without-opengl.patch" >"$WORK/patch-qtbase.log"
    fi
    touch "$WORK/src/$pkg.unpacked"
    return 0
  done
  say "no version of $pkg could be fetched (see $WORK/fetch-$pkg.log)"
  exit 1
}

# cmake_build NAME SOURCE-DIR [CMAKE-OPTION...]: a static release build
# installed into the prefix.
cmake_build() {
  local name=$1 src=$2
  shift 2
  cmake -S "$src" -B "$WORK/build/$name" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DZEMBRIK_WINDOWS_DEPS="$PREFIX" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=OFF \
    "${LAUNCHER[@]}" "$@" >"$WORK/configure-$name.log" 2>&1 ||
    { tail -n 40 "$WORK/configure-$name.log" >&2; say "configuring $name failed (log: $WORK/configure-$name.log)"; exit 1; }
  cmake --build "$WORK/build/$name" --parallel "$JOBS" >"$WORK/build-$name.log" 2>&1 ||
    { tail -n 40 "$WORK/build-$name.log" >&2; say "building $name failed (log: $WORK/build-$name.log)"; exit 1; }
  cmake --install "$WORK/build/$name" --strip >"$WORK/install-$name.log" 2>&1 ||
    { tail -n 40 "$WORK/install-$name.log" >&2; say "installing $name failed"; exit 1; }
}

# Debian's zlib source leaves out win32/ (the DLL's resources): only the
# static library is built, installed under the name -lz finds.
build_zlib() {
  local build=$WORK/build/zlib
  cmake -S "$WORK/src/zlib" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" "${LAUNCHER[@]}" >"$WORK/configure-zlib.log" 2>&1 ||
    { tail -n 40 "$WORK/configure-zlib.log" >&2; say "configuring zlib failed"; exit 1; }
  cmake --build "$build" --parallel "$JOBS" --target zlibstatic >"$WORK/build-zlib.log" 2>&1 ||
    { tail -n 40 "$WORK/build-zlib.log" >&2; say "building zlib failed"; exit 1; }
  mkdir -p "$PREFIX/include" "$PREFIX/lib/pkgconfig"
  cp "$build/libzlibstatic.a" "$PREFIX/lib/libz.a"
  cp "$WORK/src/zlib/zlib.h" "$build/zconf.h" "$PREFIX/include/"
  sed -i 's/-lzlib\b/-lz/' "$build/zlib.pc"
  cp "$build/zlib.pc" "$PREFIX/lib/pkgconfig/"
}

# Debian's security fixes test XML_DTD == 1, as the autotools build defines
# it; expat's CMake defines it empty.
build_expat() {
  sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$WORK/src/expat/expat/expat_config.h.cmake"
  cmake_build expat "$WORK/src/expat/expat" -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF \
    -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF \
    -DEXPAT_MSVC_STATIC_CRT=OFF
}

# The jpeg 6.2 interface, as Debian's libjpeg62-turbo, with the SIMD code.
build_libjpeg_turbo() {
  cmake_build libjpeg-turbo "$WORK/src/libjpeg-turbo" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
}

# Qt's WebP reader wants libwebp with its demux and mux parts.
build_libwebp() {
  cmake_build libwebp "$WORK/src/libwebp" -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
    -DWEBP_BUILD_LIBWEBPMUX=ON -DWEBP_ENABLE_SWAP_16BIT_CSP=OFF
}

# Deflate and JPEG compression as in Debian's libtiff; the rarer codecs
# (LZMA, ZSTD, WebP, JBIG, LERC) are left out.
build_tiff() {
  cmake_build tiff "$WORK/src/tiff" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -Dcxx=OFF -Dzlib=ON -Djpeg=ON -Dold-jpeg=ON -Djpeg12=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Djbig=OFF \
    -Dlerc=OFF -Dlibdeflate=OFF -Dpixarlog=ON
}

build_libde265() {
  cmake_build libde265 "$WORK/src/libde265" -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF
}

build_dav1d() {
  local cross=$WORK/meson-cross.txt
  cat >"$cross" <<EOF
[binaries]
c = '$MINGW-gcc-posix'
ar = '$MINGW-gcc-ar-posix'
strip = '$MINGW-strip'
windres = '$MINGW-windres'
pkg-config = 'pkg-config'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
  meson setup "$WORK/build/dav1d" "$WORK/src/dav1d" --cross-file "$cross" --prefix "$PREFIX" --libdir lib \
    --buildtype release --default-library static -Denable_tools=false -Denable_tests=false \
    -Denable_asm=true >"$WORK/configure-dav1d.log" 2>&1 ||
    { tail -n 40 "$WORK/configure-dav1d.log" >&2; say "configuring dav1d failed"; exit 1; }
  ninja -C "$WORK/build/dav1d" -j "$JOBS" install >"$WORK/build-dav1d.log" 2>&1 ||
    { tail -n 40 "$WORK/build-dav1d.log" >&2; say "building dav1d failed"; exit 1; }
}

# HEVC through libde265 and AV1 through dav1d, built in; no encoders, no
# plugins loaded at run time.
build_libheif() {
  cmake_build libheif "$WORK/src/libheif" -DENABLE_PLUGIN_LOADING=OFF \
    -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_DAV1D=ON -DWITH_DAV1D_PLUGIN=OFF \
    -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF \
    -DWITH_EXAMPLES=OFF -DWITH_GDK_PIXBUF=OFF -DBUILD_TESTING=OFF
}

# The features of Debian's exiv2 (BMFF for HEIF and AVIF, video, web-ready)
# without gettext; wide-character paths for names outside the ANSI code page.
build_exiv2() {
  cmake_build exiv2 "$WORK/src/exiv2" -DEXIV2_ENABLE_XMP=ON -DEXIV2_ENABLE_PNG=ON -DEXIV2_ENABLE_NLS=OFF \
    -DEXIV2_ENABLE_BMFF=ON -DEXIV2_ENABLE_VIDEO=ON -DEXIV2_ENABLE_WEBREADY=ON -DEXIV2_ENABLE_CURL=OFF \
    -DEXIV2_ENABLE_SSH=OFF -DEXIV2_ENABLE_WIN_UNICODE=ON -DEXIV2_BUILD_SAMPLES=OFF \
    -DEXIV2_BUILD_EXIV2_COMMAND=OFF -DEXIV2_BUILD_UNIT_TESTS=OFF -DEXIV2_BUILD_DOC=OFF \
    -DEXIV2_ENABLE_DYNAMIC_RUNTIME=ON -DCMAKE_C_FLAGS=-DXML_STATIC -DCMAKE_CXX_FLAGS=-DXML_STATIC
  # The installed header describes the static library: users need not know
  # its STATIC_DEFINE to get no dllimport.
  sed -i '0,/^#ifndef EXIV2API_H/s//#ifndef exiv2lib_STATIC\n#  define exiv2lib_STATIC\n#endif\n&/' \
    "$PREFIX/include/exiv2/exiv2lib_export.h"
  # A static exiv2lib names Threads::Threads and ZLIB::ZLIB among its
  # libraries, and its CMake file does not find them.
  sed -i '0,/^cmake_policy(PUSH)/s//include(CMakeFindDependencyMacro)\nfind_dependency(Threads)\nfind_dependency(ZLIB)\n&/' \
    "$PREFIX/lib/cmake/exiv2/exiv2Config.cmake"
}

# Core, Gui, Widgets and Test as DLLs; the rest of qtbase is left out. The
# bundled PCRE2, HarfBuzz, libpng and zlib (inside QtCore); libjpeg is the one
# above, the one Zembrik decodes with. Debian's source lacks the Wintab
# headers (no tablet events) and OpenGL is off (see the patch). Direct2D stays:
# in 6.4 the windows plugin's DirectWrite font database is built only with it.
build_qtbase() {
  cmake_build qtbase "$WORK/src/qt6-base" -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF -DFEATURE_icu=OFF \
    -DFEATURE_zstd=OFF -DFEATURE_androiddeployqt=OFF -DFEATURE_ico=OFF -DFEATURE_testlib=ON \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
    -DFEATURE_jpeg=ON -DFEATURE_system_jpeg=ON -DFEATURE_gif=ON -DFEATURE_png=ON
}

# WebP and TIFF readers on the libwebp and libtiff built above (Debian's
# sources carry fixes the copies bundled with Qt lack). CMake's FindTIFF
# knows nothing of a static libtiff's own libraries: they end every link.
# libwebp's CMake package finds Threads in a scope Qt cannot promote to
# global, so Qt's search by library names is used; webpdemux and webpmux
# come before the libwebp they need, hence libwebp again at the end.
build_qtimageformats() {
  cmake_build qtimageformats "$WORK/src/qt6-imageformats" -DBUILD_SHARED_LIBS=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_WebP=ON \
    -DCMAKE_CXX_STANDARD_LIBRARIES="$PREFIX/lib/libwebp.a $PREFIX/lib/libjpeg.a $PREFIX/lib/libz.a" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_webp=ON -DFEATURE_system_webp=ON -DFEATURE_tiff=ON -DFEATURE_system_tiff=ON \
    -DFEATURE_jasper=OFF -DFEATURE_mng=OFF -DFEATURE_icns=OFF -DFEATURE_tga=OFF -DFEATURE_wbmp=OFF \
    -DFEATURE_macheif=OFF -DFEATURE_macjp2=OFF
}

# A .qm file is the same on every system: Debian's Japanese ones are shipped.
copy_translations() {
  mkdir -p "$PREFIX/translations"
  cp /usr/share/qt6/translations/qt_ja.qm /usr/share/qt6/translations/qtbase_ja.qm "$PREFIX/translations/"
}

# The DLLs a program built against the prefix needs beside it, besides the
# prefix's own: MinGW's C++ runtime.
copy_runtime() {
  local dll path
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    path=$("$MINGW-g++-posix" -print-file-name="$dll")
    [ -f "$path" ] || path=/usr/$MINGW/lib/$dll
    [ -f "$path" ] || { say "MinGW has no $dll"; exit 1; }
    cp "$path" "$PREFIX/bin/"
  done
}

# step NAME FUNCTION: runs once per prefix; its wall time is kept.
step() {
  local name=$1 fn=$2 start
  if [ -f "$PREFIX/.steps/$name" ]; then return 0; fi
  start=$(date +%s)
  say "$name ..."
  "$fn"
  mkdir -p "$PREFIX/.steps"
  echo "$(( $(date +%s) - start ))" >"$PREFIX/.steps/$name"
  say "$name: $(cat "$PREFIX/.steps/$name") s"
}

main() {
  need_packages
  need_deb_src
  local key
  key=$(compute_key)
  PREFIX=$CACHE_ROOT/$key
  if [ "${1:-}" = --prefix ]; then echo "$PREFIX"; return 0; fi
  if [ -f "$PREFIX/.complete" ]; then
    say "up to date in $PREFIX"
    echo "$PREFIX"
    return 0
  fi
  WORK=$CACHE_ROOT/work-$key
  DOWNLOADS=$CACHE_ROOT/downloads
  # What a run under another key left halfway is of no more use.
  local stale
  for stale in "$CACHE_ROOT"/work-*; do
    [ "$stale" = "$WORK" ] || rm -rf "$stale" "$CACHE_ROOT/$(basename "$stale" | sed 's/^work-//')"
  done
  mkdir -p "$PREFIX/share/zembrik" "$WORK/src" "$WORK/build" "$DOWNLOADS"
  # The prefix keeps its own copy of the toolchain file: Qt's CMake files
  # name the one it was built with.
  TOOLCHAIN=$PREFIX/share/zembrik/mingw-w64-x86_64.cmake
  cp "$here/mingw-w64-x86_64.cmake" "$TOOLCHAIN"
  # ccache in a folder of its own: Qt's objects would crowd out the
  # project's in the shared cache.
  LAUNCHER=()
  if command -v ccache >/dev/null; then
    export CCACHE_DIR=$CACHE_ROOT/ccache CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-4G}
    LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  export PKG_CONFIG_LIBDIR=$PREFIX/lib/pkgconfig PKG_CONFIG_PATH=
  # Configure checks that run a test program run it under Wine, in a prefix
  # of this build's own.
  export WINEPREFIX=$WORK/wine WINEDEBUG=-all
  say "building into $PREFIX (key $key; work in $WORK)"
  local start=$(date +%s) pkg
  : >"$WORK/versions"
  for pkg in "${SOURCES[@]}"; do fetch_source "$pkg"; done
  step zlib build_zlib
  step expat build_expat
  step libjpeg-turbo build_libjpeg_turbo
  step libwebp build_libwebp
  step tiff build_tiff
  step libde265 build_libde265
  step dav1d build_dav1d
  step libheif build_libheif
  step exiv2 build_exiv2
  step qtbase build_qtbase
  step qtimageformats build_qtimageformats
  step translations copy_translations
  step runtime copy_runtime
  cp "$WORK/versions" "$PREFIX/versions"
  touch "$PREFIX/.complete"
  rm -rf "$WORK"
  say "done in $(( $(date +%s) - start )) s: $PREFIX"
  echo "$PREFIX"
}

main "$@"
