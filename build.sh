#!/usr/bin/env bash
# Sets up, builds and runs Zembrik on Debian.
#   ./build.sh run    install what is missing, build, start Zembrik
#   ./build.sh test   install what is missing, build, run every test
# Missing Debian packages are installed with apt-get when run as root; otherwise
# the exact apt-get line is printed and nothing else is done.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-translations-l10n libjpeg62-turbo-dev libjpeg-turbo-progs fonts-ipafont-gothic)
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

build() {
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}

case "${1:-}" in
  run)
    need_packages
    build
    shift
    exec "$BUILD_DIR/bin/zembrik" "$@"
    ;;
  test)
    need_packages
    build
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
