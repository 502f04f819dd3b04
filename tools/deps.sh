#!/usr/bin/env bash
# Installs the Debian packages dialpix needs, but only those that are missing,
# so a second run costs nothing.
#   tools/deps.sh run    what building and running the program needs (./run)
#   tools/deps.sh test   that, plus the test, benchmark and fuzzing tools (./test)
#   tools/deps.sh gui    that, plus what looking at the windows on Xvfb takes
set -euo pipefail

run=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-dejavu-core fonts-liberation
)
test=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  locales
)
gui=(xvfb xauth openbox imagemagick xdotool)

case "${1:-test}" in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${test[@]}") ;;
  gui) packages=("${run[@]}" "${test[@]}" "${gui[@]}") ;;
  *) echo "usage: tools/deps.sh [run|test|gui]" >&2; exit 2 ;;
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
