#!/usr/bin/env bash
# The Windows build of Zembrik, cross-compiled on Debian with MinGW-w64
# against the libraries windows/build-deps.sh builds (once) into its cache:
#
#   windows/build-windows.sh build     zembrik.exe and zembrik-batch.exe, then
#                                      build-windows/Zembrik-<version>-win64.zip
#                                      and the installer Zembrik-<version>-setup.exe
#   windows/build-windows.sh test      the tests, cross-built and run under Wine,
#                                      and zembrik-batch.exe stopped by Ctrl+C
#   windows/build-windows.sh install   the installer run under Wine: installs
#                                      silently, runs, uninstalls silently
#   windows/build-windows.sh ready     succeeds when the libraries are already
#                                      built for the current sources and tools
#                                      (CI builds Windows only then)
#   windows/build-windows.sh compare [FOLDER...]
#                                      zembrik-batch.exe's outputs against the
#                                      Linux build's (build/bin/zembrik-batch),
#                                      byte for byte, over pictures made here
#                                      and those in the FOLDERs
#
# ZEMBRIK_WINDOWS_BUILD_DIR names the build folder (default build-windows).
set -euo pipefail
cd "$(dirname "$0")/.."

DIR=${ZEMBRIK_WINDOWS_BUILD_DIR:-build-windows}
# The Windows programs' tests: those of the encoder, the pictures, the
# engine, the command line, the output options and the files; the window's
# tests stay with the Linux build (the window is looked at under Wine).
TESTS=(tst_encoder_stages tst_jpeg_file tst_pending_jpeg tst_picture tst_pictures tst_engine tst_batch_cli
       tst_output tst_fuzz_replay)

say() { echo "build-windows: $*" >&2; }

configure() {
  mkdir -p "$DIR"
  PREFIX=$(windows/build-deps.sh | tail -n 1)
  [ -f "$PREFIX/.complete" ] || { say "the dependencies are not complete in $PREFIX"; exit 1; }
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PREFIX/share/zembrik/mingw-w64-x86_64.cmake" -DZEMBRIK_WINDOWS_DEPS="$PREFIX" \
    -DCMAKE_PREFIX_PATH="$PREFIX" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DZEMBRIK_BENCHMARKS=OFF "${launcher[@]}" >"$DIR/configure.log" 2>&1 ||
    { tail -n 40 "$DIR/configure.log" >&2; say "configuring failed (log: $DIR/configure.log)"; exit 1; }
  export WINEPREFIX=$PWD/$DIR/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPATH="Z:$PREFIX/bin"
}

version() { sed -n 's/^project(Zembrik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt; }

# The programs with what they need beside them, as the zip and the installer
# hold them.
stage() {
  local stage=$1 p
  rm -rf "$stage"
  mkdir -p "$stage/plugins/platforms" "$stage/plugins/styles" "$stage/plugins/imageformats" "$stage/translations"
  cp "$DIR/bin/zembrik.exe" "$DIR/bin/zembrik-batch.exe" help/Kolvane.html help/Kolvane_en.html "$stage/"
  for p in Qt6Core Qt6Gui Qt6Widgets libstdc++-6 libgcc_s_seh-1 libwinpthread-1; do
    cp "$PREFIX/bin/$p.dll" "$stage/"
  done
  cp "$PREFIX/plugins/platforms/qwindows.dll" "$stage/plugins/platforms/"
  cp "$PREFIX/plugins/styles/qwindowsvistastyle.dll" "$stage/plugins/styles/"
  for p in qjpeg qgif qwebp qtiff; do
    cp "$PREFIX/plugins/imageformats/$p.dll" "$stage/plugins/imageformats/"
  done
  cp "$PREFIX"/translations/*.qm "$stage/translations/"
  # Qt finds its plugins and translations beside the programs.
  printf '[Paths]\r\nPrefix = .\r\nPlugins = plugins\r\nTranslations = translations\r\n' >"$stage/qt.conf"
  sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
  x86_64-w64-mingw32-strip "$stage"/*.exe
}

build() {
  configure
  cmake --build "$DIR" --parallel "$(nproc)" --target zembrik zembrik-batch
  local version name
  version=$(version)
  name=Zembrik-$version-win64
  stage "$DIR/$name"
  rm -f "$DIR/$name.zip"
  (cd "$DIR" && cmake -E tar cf "$name.zip" --format=zip "$name")
  makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$DIR/$name" -DICON="$PWD/windows/zembrik.ico" -DOUTFILE="$PWD/$DIR/Zembrik-$version-setup.exe" \
    windows/zembrik.nsi
  say "made $DIR/$name.zip and $DIR/Zembrik-$version-setup.exe"
}

run_tests() {
  configure
  cmake --build "$DIR" --parallel "$(nproc)" --target zembrik-batch "${TESTS[@]}"
  # One Wine server for all the tests, started before them and ended after.
  wineserver -p 60 || true
  local status=0
  find "$DIR/tests" -name 'tst_*.txt' -delete
  ctest --test-dir "$DIR" --output-on-failure -j "$(nproc)" --repeat until-pass:2 \
    -R "^($(IFS='|'; echo "${TESTS[*]}"))\$" || status=$?
  interrupt_check || status=1
  wineserver -k || true
  # What the failed tests said (Wine loses it on ctest's pipe).
  local log
  for log in $(find "$DIR/tests" -name 'tst_*.txt'); do
    grep -q '^FAIL!\|^QFATAL' "$log" && { say "$log:"; grep -A4 '^FAIL!\|^QFATAL' "$log" >&2; }
  done
  return $status
}

# Ctrl+C: Wine turns a SIGINT into the console's Ctrl+C event, so this runs
# zembrik-batch.exe's console handler as Windows would: the run stops, the
# program ends with the console's exit status (STATUS_CONTROL_C_EXIT, 58 to
# the shell), every output it wrote is whole (the file Linux writes) and named
# on its output, and no temporary is left. The tests cannot send the event
# under Wine, whose test processes have no console. Then the same run killed.
interrupt_check() {
  command -v convert >/dev/null || { say "the Ctrl+C check makes its picture with ImageMagick"; return 1; }
  local work=$DIR/interrupt pid status=0 i written
  rm -rf "$work"
  mkdir -p "$work/in" "$work/linux"
  convert -seed 3 -size 3000x2000 plasma:fractal -quality 90 "$work/in/p00.jpg"
  for i in $(seq 1 15); do cp "$work/in/p00.jpg" "$work/in/p$(printf %02d "$i").jpg"; done
  [ ! -x build/bin/zembrik-batch ] || build/bin/zembrik-batch -o "$work/linux" "$work/in/p00.jpg" >/dev/null
  # A 16-picture run, once its first line is out.
  started() {
    rm -rf "$work/out" && mkdir -p "$work/out"
    wine "$DIR/bin/zembrik-batch.exe" -j 2 -o "$work/out" "$work"/in/*.jpg >"$work/log" 2>"$work/err" &
    pid=$!
    for i in $(seq 1 1200); do [ -s "$work/log" ] && break; sleep 0.1; done
  }
  # No temporary, fewer than 16 files, each the file Linux writes.
  left_whole() {
    local file
    [ -z "$(find "$work/out" -name '*.tmp')" ] || { say "$1: a temporary was left"; return 1; }
    [ "$(find "$work/out" -type f | wc -l)" -lt 16 ] || { say "$1: the run had ended before it"; return 1; }
    [ -f "$work/linux/p00.jpg" ] || return 0
    for file in "$work"/out/*; do
      cmp -s "$file" "$work/linux/p00.jpg" || { say "$1: $(basename "$file") is not whole"; return 1; }
    done
  }
  started
  kill -INT "$pid" 2>/dev/null || true
  wait "$pid" || status=$?
  written=$(tr -d '\r' <"$work/log" | grep -c ' -> ' || true)
  [ "$status" -eq 58 ] || { say "Ctrl+C: exit status $status, not 58 (STATUS_CONTROL_C_EXIT)"; return 1; }
  left_whole Ctrl+C || return 1
  [ "$(find "$work/out" -type f | wc -l)" -eq "$written" ] || { say "Ctrl+C: the files are not those named"; return 1; }
  say "Ctrl+C after $written of 16 pictures: ended with STATUS_CONTROL_C_EXIT, their files whole, no temporary"
  # Killed outright (the task ended, or Wine's console closed, which ends its
  # programs so): Windows removes the temporaries being written, marked so.
  started
  kill -KILL "$pid" 2>/dev/null || true
  { wait "$pid"; } 2>/dev/null || true
  sleep 1
  left_whole killed || return 1
  say "killed after $(find "$work/out" -type f | wc -l) of 16 pictures: their files whole, no temporary"
}

# Test pictures of every kind the programs read, made here: a fractal
# landscape of odd size as JPEG (4:2:0, 4:4:4 progressive, turned by its Exif
# orientation, also under a Japanese name), PNG (8 and 16 bits, with alpha),
# WebP, TIFF, BMP, GIF, HEIC and AVIF, besides the tests' own files.
make_pictures() {
  local dest=$1
  convert -seed 7 -size 1931x1277 plasma:fractal -depth 8 "$dest/plasma.png"
  convert "$dest/plasma.png" -quality 92 -sampling-factor 2x2 "$dest/plasma420.jpg"
  convert "$dest/plasma.png" -quality 85 -sampling-factor 1x1 -interlace JPEG "$dest/plasma444p.jpg"
  convert "$dest/plasma.png" -quality 90 -orient right-top "$dest/turned.jpg"
  cp "$dest/turned.jpg" "$dest/回転 ä.jpg"  # a name the ANSI code page cannot hold, with metadata
  convert "$dest/plasma.png" -resize 641x433 -depth 16 "$dest/deep.png"
  convert "$dest/plasma.png" -resize 333x517! -alpha set -channel A -evaluate set 60% "$dest/alpha.png"
  convert "$dest/plasma.png" -quality 80 "$dest/plasma-webp.webp"
  convert "$dest/plasma.png" -compress lzw "$dest/plasma-tif.tif"
  convert "$dest/plasma.png" -resize 50% "$dest/plasma-bmp.bmp"
  convert "$dest/plasma.png" -resize 37% "$dest/plasma-gif.gif"
  heif-enc -q 70 -o "$dest/plasma-heic.heic" "$dest/plasma.png" >/dev/null
  heif-enc -A -q 70 -p chroma=420 -o "$dest/plasma-avif.avif" "$dest/plasma.png" >/dev/null
  cp tests/data/*.tif tests/data/*.webp "$dest/"
}

# Every picture (those made above, and those of the folders given) at several
# ratios, boxes and options through both programs; any output that differs by
# a byte, or exists on one side only, is a failure.
compare() {
  command -v convert >/dev/null && command -v heif-enc >/dev/null ||
    { say "the comparison makes its pictures with ImageMagick and heif-enc:"
      say "  sudo apt-get install -y --no-install-recommends imagemagick libheif-examples"; exit 1; }
  configure
  cmake --build "$DIR" --parallel "$(nproc)" --target zembrik-batch
  [ -x build/bin/zembrik-batch ] || { say "build the Linux programs first (./build.sh test)"; exit 1; }
  local work=$DIR/compare status=0 runs=0 same=0 args name picture folder extra
  rm -rf "$work"
  mkdir -p "$work/in"
  make_pictures "$work/in"
  for folder in "$@"; do cp "$folder"/* "$work/in/"; done
  wineserver -p 60 || true
  local options=("-r 100" "-r 50" "-r 33.3" "-r 7" "--max-size 640x480" "--max-size 100x100 --max-size 1024x768"
                 "-r 50 --quality 95" "-r 50 --keep-metadata --keep-gps" "-r 25 --quality 40 --keep-date --suffix _s"
                 "-r 60 --max-bytes 100K")
  for args in "${options[@]}"; do
    name=$(echo "$args" | tr -c 'A-Za-z0-9\n' '_')
    mkdir -p "$work/linux/$name" "$work/windows/$name"
    # shellcheck disable=SC2086
    build/bin/zembrik-batch $args -o "$work/linux/$name" "$work"/in/* >"$work/linux/$name.log" 2>&1 || true
    # shellcheck disable=SC2086
    wine "$DIR/bin/zembrik-batch.exe" $args -o "$work/windows/$name" "$work"/in/* >"$work/windows/$name.log" 2>&1 || true
    while IFS= read -r picture; do
      runs=$((runs + 1))
      if cmp -s "$work/linux/$name/$picture" "$work/windows/$name/$picture"; then
        same=$((same + 1))
      else
        say "differs: $name/$picture"
        status=1
      fi
      if [[ $args == *--keep-date* ]] &&
         [ "$(stat -c %Y "$work/linux/$name/$picture")" != "$(stat -c %Y "$work/windows/$name/$picture")" ]; then
        say "another date: $name/$picture"
        status=1
      fi
    done < <(cd "$work/linux/$name" && find . -type f | sort)
    extra=$(comm -13 <(cd "$work/linux/$name" && find . -type f | sort) <(cd "$work/windows/$name" && find . -type f | sort))
    [ -z "$extra" ] || { say "only on Windows: $name: $extra"; status=1; }
  done
  wineserver -k || true
  say "$same of $runs outputs identical"
  [ "$runs" -gt 0 ] || status=1
  return $status
}

# The installer under Wine, in a Wine prefix of its own: installed without a
# question, the programs run from where it put them (with only the DLLs it put
# beside them), its Start-menu entry and registry entries are there; then
# uninstalled without a question, and all of them are gone.
install_check() {
  configure
  local version setup folder key status=0
  version=$(version)
  setup=$PWD/$DIR/Zembrik-$version-setup.exe
  [ -f "$setup" ] || { say "build the installer first: $0 build"; exit 1; }
  export WINEPREFIX=$PWD/$DIR/wine-install
  unset WINEPATH
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine "$setup" /S
  wineserver -w
  folder="$WINEPREFIX/drive_c/Program Files/Zembrik"
  fail() { say "install check: $*"; status=1; }
  for key in zembrik.exe zembrik-batch.exe uninstall.exe Qt6Widgets.dll plugins/platforms/qwindows.dll \
             plugins/imageformats/qwebp.dll translations/qtbase_ja.qm Kolvane.html; do
    [ -f "$folder/$key" ] || fail "not installed: $key"
  done
  wine 'C:\Program Files\Zembrik\zembrik-batch.exe' --version 2>&1 | tr -d '\r' | grep -q "$version" ||
    fail "the installed zembrik-batch.exe does not run"
  find "$WINEPREFIX/drive_c" -name Zembrik.lnk | grep -q . || fail "no Start-menu entry"
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zembrik' /v DisplayVersion 2>&1 |
    grep -q "$version" || fail "not listed under Apps"
  for key in .jpg .heic .webp .gif; do
    wine reg query "HKLM\\Software\\Classes\\$key\\OpenWithList\\zembrik.exe" >/dev/null 2>&1 ||
      fail "not offered to open $key"
  done
  wine 'C:\Program Files\Zembrik\uninstall.exe' /S
  wineserver -w
  [ ! -e "$folder/zembrik.exe" ] || fail "zembrik.exe left after uninstalling"
  [ ! -e "$folder" ] || fail "the folder left after uninstalling: $(ls "$folder")"
  find "$WINEPREFIX/drive_c" -name Zembrik.lnk | grep -q . && fail "the Start-menu entry left after uninstalling"
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zembrik' >/dev/null 2>&1 &&
    fail "still listed under Apps after uninstalling"
  wine reg query 'HKLM\Software\Classes\.jpg\OpenWithList\zembrik.exe' >/dev/null 2>&1 &&
    fail "still offered to open .jpg after uninstalling"
  wineserver -k || true
  [ $status -eq 0 ] && say "installed, ran and uninstalled $(basename "$setup") under Wine"
  return $status
}

# Cheap when nothing was ever built: no package is installed to find that out.
ready() {
  local cache=${ZEMBRIK_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zembrik/windows-deps}
  compgen -G "$cache/*/.complete" >/dev/null || return 1
  local prefix
  prefix=$(windows/build-deps.sh --prefix 2>/dev/null | tail -n 1) || return 1
  [ -f "$prefix/.complete" ]
}

case "${1:-build}" in
  ready) ready ;;
  build) build ;;
  test) run_tests ;;
  compare) shift; compare "$@" ;;
  install) install_check ;;
  *) echo "usage: $0 build|test|compare|install|ready" >&2; exit 2 ;;
esac
