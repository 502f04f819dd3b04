#!/usr/bin/env bash
# Installs the Debian packages dialpix needs, but only those that are missing,
# so a second run costs nothing.
#   tools/deps.sh run      what building and running the program needs (./run)
#   tools/deps.sh package  that, plus what building the Debian package takes (./package)
#   tools/deps.sh test     those, plus the test, benchmark, fuzzing and package checking
#                          tools, and the windows group (./test)
#   tools/deps.sh windows  what building, packaging and testing the Windows program
#                          takes (./package windows; ./test includes it)
#   tools/deps.sh gui      that, plus what looking at the windows on Xvfb takes
set -euo pipefail

run=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev zlib1g-dev
  fonts-dejavu-core fonts-liberation
)
package=(dpkg-dev file)  # dpkg-shlibdeps, and file, which CPack uses to find the binaries
test=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  locales
  desktop-file-utils appstream lintian man-db groff-base
  # Gauges linked as real 32-bit ones for the resource table tests (64-bit: the windows group).
  gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  # wrestool, an outside reader of the resources of rewritten gauges.
  icoutils
)
# The Windows program: MinGW-w64 and its zlib, Debian's GoogleTest source built for it,
# makensis, and wine to run the tests and the installer.
windows=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev googletest nsis wine wine64 ninja-build ccache xz-utils
)
gui=(xvfb xauth openbox imagemagick xdotool)

case "${1:-test}" in
  run) packages=("${run[@]}") ;;
  package) packages=("${run[@]}" "${package[@]}") ;;
  windows) packages=("${run[@]}" "${windows[@]}") ;;
  test) packages=("${run[@]}" "${package[@]}" "${test[@]}" "${windows[@]}") ;;
  gui) packages=("${run[@]}" "${package[@]}" "${test[@]}" "${windows[@]}" "${gui[@]}") ;;
  *) echo "usage: tools/deps.sh [run|package|test|windows|gui]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "dialpix: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "dialpix: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
