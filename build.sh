#!/usr/bin/env bash
# Sets up, builds and runs Zembrik on Debian.
#   ./build.sh run          install what is missing, build, start Zembrik
#   ./build.sh test         install what is missing, build, run every test
#   ./build.sh test-tsan    the tests of what shares data between threads (the
#                           run's engine, the run, the viewers, the HEIF
#                           reader), built with ThreadSanitizer (in build-tsan/)
#   ./build.sh test-asan    every test again, built with AddressSanitizer and
#                           UndefinedBehaviorSanitizer (in build-asan/)
#   ./build.sh fuzz [SECS]  build the fuzz target with clang and run it for
#                           SECS seconds (default 60; in build-fuzz/)
#   ./build.sh package      build the Debian package from the release build:
#                           build/zembrik_<version>_<arch>.deb, checked with lintian
#   ./build.sh windows      the Windows programs, cross-built with MinGW-w64, as
#                           build-windows/Zembrik-<version>-win64.zip and the
#                           installer Zembrik-<version>-setup.exe; the first
#                           time, the libraries they link (Qt, libjpeg, libheif,
#                           exiv2, ...) are built from Debian's source packages
#                           into a cache (windows/build-deps.sh)
#   ./build.sh test-windows the tests of the Windows build, run under Wine, and
#                           the Windows zembrik-batch's outputs compared with
#                           the Linux one's, byte for byte (after ./build.sh test),
#                           and the installer run under Wine (after ./build.sh windows)
#   ./build.sh windows-deps only the libraries of the Windows build
# Missing Debian packages are installed with apt-get when run as root; otherwise
# the exact apt-get line is printed and nothing else is done.
set -euo pipefail
cd "$(dirname "$0")"

# qt6-l10n-tools (lupdate, lrelease) and qt6-tools-dev (their CMake functions)
# make the English translation.
PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-translations-l10n qt6-l10n-tools qt6-tools-dev
          qt6-image-formats-plugins libjpeg62-turbo-dev libjpeg-turbo-progs libexiv2-dev zlib1g-dev libheif-dev libheif-examples
          fonts-ipafont-gothic)
# Only the fuzz mode needs these.
FUZZ_PACKAGES=(clang libclang-rt-dev)
# Only the package mode: dpkg-shlibdeps (dpkg-dev, with file) reads the
# package's dependencies from the programs; lintian checks the package.
PACKAGE_PACKAGES=(dpkg-dev file lintian)
BUILD_DIR=${ZEMBRIK_BUILD_DIR:-build}

need_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Zembrik needs these Debian packages. Install them with:" >&2
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
}

# build DIR [TARGET...] [-- CMAKE-OPTION...]
build() {
  local dir=$1 targets=() options=()
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do targets+=(--target "$1"); shift; done
  [ $# -gt 0 ] && shift
  options=("$@")
  # Where ccache is installed, rebuilds and build folders side by side reuse
  # what was compiled before.
  command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
  cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# run_tests DIR [CTEST-OPTION...]
run_tests() {
  local dir=$1
  shift
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
}

# The fuzz target for SECS seconds from the seeds and what earlier runs found
# (build-fuzz/corpus); an input that breaks it is left in build-fuzz/findings.
# A progressive JPEG at the loader's limit (160 MP, 4:4:4) keeps about 1 GB of
# coefficients by design, on top of the fuzzer's own 1 GB (corpus, quarantine),
# so the memory limit is 3 GB rather than libFuzzer's 2 GB; an unbounded
# allocation still goes over it.
fuzz() {
  local seconds=${1:-60} dir=${ZEMBRIK_FUZZ_BUILD_DIR:-build-fuzz}
  build "$dir" zembrik_fuzz zembrik_fuzz_seeds -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DZEMBRIK_FUZZ=ON -DZEMBRIK_SANITIZE=address,undefined
  rm -rf "$dir/seeds"
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp "$dir/fuzz/zembrik_fuzz_seeds" "$dir/seeds"
  mkdir -p "$dir/corpus" "$dir/findings"
  echo "Fuzzing for $seconds s; log in $dir/fuzz.log"
  if ASAN_OPTIONS=halt_on_error=1:print_stacktrace=1:detect_leaks=1 \
     LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
     UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     "$dir/fuzz/zembrik_fuzz" "$dir/corpus" "$dir/seeds" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=3072 \
       -artifact_prefix="$dir/findings/" -print_final_stats=1 >"$dir/fuzz.log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$dir/fuzz.log" || true
  else
    tail -n 80 "$dir/fuzz.log"
    echo "The fuzz target broke; the input is in $dir/findings/. Copy it into tests/data/fuzz/" \
         "so the tests replay it, then mend the fault." >&2
    return 1
  fi
}

# The Debian package of the build in DIR, made by CPack in DIR. A package
# without dependencies would install and then not start: that is an error.
package() {
  local dir=$1 deb depends
  rm -f "$dir"/zembrik_*.deb
  (cd "$dir" && cpack -G DEB >/dev/null)
  deb=$(echo "$dir"/zembrik_*.deb)
  [ -f "$deb" ] || { echo "cpack made no package in $dir" >&2; return 1; }
  depends=$(dpkg-deb --field "$deb" Depends)
  if [ -z "$depends" ]; then
    echo "$deb has no Depends: dpkg-shlibdeps found none" >&2
    return 1
  fi
  lintian --fail-on error,warning --display-info "$deb"
  echo "$deb"
}

case "${1:-}" in
  run)
    need_packages
    build "$BUILD_DIR"
    shift
    exec "$BUILD_DIR/bin/zembrik" "$@"
    ;;
  test)
    need_packages
    build "$BUILD_DIR"
    run_tests "$BUILD_DIR"
    ;;
  test-tsan)
    need_packages
    threaded=(tst_engine tst_run tst_close_exit tst_mainwindow tst_dialogs tst_picture tst_pictures tst_batch_cli)
    build "${ZEMBRIK_TSAN_BUILD_DIR:-build-tsan}" "${threaded[@]}" -- -DZEMBRIK_SANITIZE=thread -DZEMBRIK_BENCHMARKS=OFF
    run_tests "${ZEMBRIK_TSAN_BUILD_DIR:-build-tsan}" -R "^($(IFS='|'; echo "${threaded[*]}"))(_signal(-question)?)?\$"
    ;;
  test-asan)
    need_packages
    # -O1 without the release build's -O3 builds in less time, and the
    # sanitizers still see every fault.
    build "${ZEMBRIK_ASAN_BUILD_DIR:-build-asan}" -- -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O1 \
      -DZEMBRIK_SANITIZE=address,undefined -DZEMBRIK_BENCHMARKS=OFF
    run_tests "${ZEMBRIK_ASAN_BUILD_DIR:-build-asan}"
    ;;
  fuzz)
    PACKAGES+=("${FUZZ_PACKAGES[@]}")
    need_packages
    fuzz "${2:-60}"
    ;;
  package)
    PACKAGES+=("${PACKAGE_PACKAGES[@]}")
    need_packages
    build "$BUILD_DIR"
    package "$BUILD_DIR"
    ;;
  windows-deps)
    exec windows/build-deps.sh
    ;;
  windows)
    exec windows/build-windows.sh build
    ;;
  test-windows)
    windows/build-windows.sh test
    windows/build-windows.sh compare
    windows/build-windows.sh install
    ;;
  *)
    echo "usage: $0 run|test|test-tsan|test-asan|fuzz [SECONDS]|package|windows|test-windows|windows-deps" >&2
    exit 2
    ;;
esac
