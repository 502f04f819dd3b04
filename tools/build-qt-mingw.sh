#!/usr/bin/env bash
# tools/build-qt-mingw.sh: builds the Qt that the Windows program is made with,
# when ../shared/toolchains/qt-6.4.2-mingw-w64-static.tar.xz is not at hand:
# Qt 6.4.2 (qtbase: Core, Gui, Widgets, Concurrent, Test; the windows and
# offscreen platform plugins; Fusion, Windows and WindowsVista styles) as static
# libraries for 64-bit Windows with Debian's MinGW-w64 (posix threads), from
# Debian's own qt6-base source package. It installs into build-windows-qt/, where
# tools/windows.sh looks first, and also packs qt-6.4.2-mingw-w64-static.tar.xz
# there. About an hour on 2 cores; needs root for apt and the Debian archive's
# source packages.
#
# usage: tools/build-qt-mingw.sh [WORKDIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
work=${1:-$here/build-qt-mingw}
out="$here/build-windows-qt"
mkdir -p "$out"
mkdir -p "$work/apt/lists/partial" "$work/apt/cache" && cd "$work"

apt-get install -y -qq g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix python3 \
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev cmake ninja-build xz-utils >/dev/null

# A private source list for the source package, made from the machine's own Debian archive
# entry (its first URI), so the machine's apt setup is left alone.
uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null ||
      awk '/^deb / {print $2; exit}' /etc/apt/sources.list)
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri bookworm main" \
  >"$work/apt/src.list"
aptsrc=(-o Dir::Etc::SourceList="$work/apt/src.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
apt-get "${aptsrc[@]}" update -qq
[ -f qt6-base_6.4.2+dfsg.orig.tar.xz ] || apt-get "${aptsrc[@]}" source --download-only qt6-base=6.4.2+dfsg-10
rm -rf qtbase-everywhere-src-6.4.2 && tar -xJf qt6-base_6.4.2+dfsg.orig.tar.xz

# Debian's source leaves out the Wintab header (src/3rdparty/wintab), which the windows platform
# plugin includes for graphics tablets: build that plugin without its Wintab part. Tablet input
# is all that is lost; pen input through WM_POINTER stays.
plugin=qtbase-everywhere-src-6.4.2/src/plugins/platforms/windows
sed -i 's|QT_CONFIG(tabletevent)|0 /* no Wintab */|' "$plugin/qwindowscontext.cpp"
python3 - "$plugin" <<'PY'
import sys
d = sys.argv[1]
p = d + '/qwindowspointerhandler.cpp'
s = open(p).read().replace('#if QT_CONFIG(tabletevent)\n#  include "qwindowstabletsupport.h"\n#endif\n', '')
open(p, 'w').write(s)
p = d + '/CMakeLists.txt'
s = open(p).read().replace('CONDITION QT_FEATURE_tabletevent\n    SOURCES\n        qwindowstabletsupport.cpp',
                           'CONDITION OFF\n    SOURCES\n        qwindowstabletsupport.cpp')
open(p, 'w').write(s)
PY
grep -q 'CONDITION OFF' "$plugin/CMakeLists.txt" || { echo "the Wintab patch did not apply" >&2; exit 1; }
# The Direct2D platform plugin compiles the windows plugin's Wintab part again: leave it out.
sed -i 's/^if(QT_FEATURE_direct2d1_1 AND QT_FEATURE_directwrite)$/if(FALSE)/' \
  qtbase-everywhere-src-6.4.2/src/plugins/platforms/CMakeLists.txt
# Qt 6.4.2 leaves dynamicgl on without OpenGL, and the plugin then names OpenGL classes.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' "$plugin/qwindowswindow.cpp"

# The project's own toolchain file: the same compilers the program is built with.
toolchain="$here/cmake/mingw-w64-posix.cmake"

prefix=$out/qt-6.4.2-mingw-w64-static
rm -rf build "$prefix" && mkdir build && cd build
cmake -G Ninja ../qtbase-everywhere-src-6.4.2 -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_dbus=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_jpeg=OFF \
  -DFEATURE_concurrent=ON -DFEATURE_testlib=ON \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF >/dev/null
ninja -j"$(nproc)"
ninja install >/dev/null
cd "$out" && tar -cJf "$out/qt-6.4.2-mingw-w64-static.tar.xz" "$(basename "$prefix")"
echo "$out/qt-6.4.2-mingw-w64-static.tar.xz"
