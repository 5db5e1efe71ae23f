#!/usr/bin/env bash
# Installs the packages Sievetext needs from Debian's archive; does nothing
# when they are all present already.
#   scripts/install-deps.sh        everything: build, run, tests, benchmarks, packaging
#   scripts/install-deps.sh run    only what building and running the program need
#   scripts/install-deps.sh web    only what scripts/build-web.sh needs
set -euo pipefail

# Building the program and its window module.
run_packages=(
  g++ cmake ninja-build
  qt6-base-dev libgl-dev
)

# Tests, sanitizers, fuzzing, benchmarks, screenshots and packaging.
test_packages=(
  build-essential pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-tidy clang-format
  xvfb xauth x11-utils xdotool imagemagick libxcb1-dev
  # the window tests: the fonts the window falls back to, and one whose line
  # is taller than the option rows (as some machines' fonts are)
  fonts-dejavu-core fonts-open-sans
  file lintian desktop-file-utils appstream librsvg2-bin
  # the Debian packages (scripts/package.sh) and the pip package's test
  debhelper dh-python python3-setuptools python3-wheel python3-build python3-venv
  python3-pybind11 python3-mypy
  # the Python module and its tests, the Dask example on a local cluster
  pybind11-dev python3-dev python3-pytest python3-dask python3-distributed
  # the page's test in a headless browser
  chromium
)

# The WebAssembly build, the npm package and its tests. npm comes with some
# builds of nodejs; Debian's own nodejs needs the npm package beside it.
web_packages=(emscripten nodejs)
if ! command -v npm >/dev/null 2>&1; then web_packages+=(npm); fi

case "${1:-all}" in
  run) packages=("${run_packages[@]}") ;;
  web) packages=("${web_packages[@]}") ;;
  all) packages=("${run_packages[@]}" "${test_packages[@]}" "${web_packages[@]}") ;;
  *) echo "usage: scripts/install-deps.sh [run|web|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
