#!/usr/bin/env bash
# The Windows program: cross-built with Debian's MinGW-w64 against a static Qt
# for Windows, tested and packaged under wine.
#   tools/windows.sh have-qt   exit 0 when the Qt for Windows is at hand (unpacked on the way)
#   tools/windows.sh test      build into build-windows/ and run the Windows tests under wine,
#                              then install, check and uninstall the installer in a fresh prefix
#   tools/windows.sh package   write dialpix-VERSION-win64.zip and -win64-setup.exe here
# The Qt comes from ../shared/toolchains/qt-6.4.2-mingw-w64-static.tar.xz beside this
# clone (or DIALPIX_QT_ARCHIVE); tools/build-qt-mingw.sh makes that archive from
# Debian's source.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
qt_name=qt-6.4.2-mingw-w64-static
archive="${DIALPIX_QT_ARCHIVE:-$here/../shared/toolchains/$qt_name.tar.xz}"
qt_root="$here/build-windows-qt"
qt="$qt_root/$qt_name"
jobs="$(nproc)"

have_qt() {
  [ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] && return 0
  [ -f "$archive" ] || return 1
  rm -rf "$qt_root" && mkdir -p "$qt_root"
  tar -xJf "$archive" -C "$qt_root"
}

# configure BUILD-DIR TESTS(ON|OFF)
configure() {
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S "$here" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIALPIX_BENCH=OFF \
    -DDIALPIX_TESTS="$2" "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$here/cmake/mingw-w64-posix.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
}

# wine stays inside its prefix: no menu entries, icons or file types for the
# desktop of the machine (winemenubuilder), no Mono or Gecko set-up.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="

# A fresh wine prefix with its own persistent wineserver, for one part of the stage.
servers=()
fresh_prefix() {
  export WINEPREFIX="$1" WINEDEBUG=-all
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineserver -p
  servers+=("$WINEPREFIX")
  timeout 300 wine cmd /c exit >/dev/null 2>&1  # wineboot makes the prefix
}
stop_servers() {
  for p in "${servers[@]}"; do WINEPREFIX="$p" wineserver -k 2>/dev/null || true; done
}

fail() { echo "windows: $*" >&2; exit 1; }

# cpack's ZIP and NSIS into BUILD-DIR/packages; prints nothing.
make_packages() {
  rm -rf "$1/packages"
  (cd "$1" && cpack -B "$1/packages" >/dev/null)
  rm -rf "$1/packages/_CPack_Packages"
}

# wine's answer without its carriage returns.
winecmd() { timeout 120 wine "$@" 2>/dev/null | tr -d '\r'; }

check_installer() {
  local setup="$1" version="$2"
  fresh_prefix "$build/wine-install"
  local dir="$WINEPREFIX/drive_c/Program Files/dialpix"
  local menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/dialpix"
  local path='C:\tools;%USERPROFILE%\bin'
  # Another program had .gau before, and the user has a PATH of their own.
  winecmd reg add 'HKLM\Software\Classes\.gau' /ve /d earlier.gauge /f >/dev/null
  winecmd reg add 'HKLM\Software\Classes\earlier.gauge\shell\open\command' /ve /d 'notepad "%1"' /f >/dev/null
  winecmd reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$path" /f >/dev/null
  timeout 300 wine "$setup" /S || fail "the silent install failed"
  for f in dialpix.exe dialpix.com README.txt LICENSE.txt Uninstall.exe; do
    [ -f "$dir/$f" ] || fail "the install left out $f"
  done
  [ -f "$menu/dialpix.lnk" ] || fail "no Start-menu entry"
  [ "$(winecmd cmd /c assoc .gau)" = ".gau=dialpix.gauge" ] || fail "assoc .gau: $(winecmd cmd /c assoc .gau)"
  winecmd reg query 'HKLM\Software\Classes\.gau\OpenWithProgids' | grep -q earlier.gauge ||
    fail "the earlier program of .gau is no longer offered for it"
  local open='"C:\Program Files\dialpix\dialpix.exe" "%1"'
  [ "$(winecmd cmd /c ftype dialpix.gauge)" = "dialpix.gauge=$open" ] ||
    fail "ftype dialpix.gauge: $(winecmd cmd /c ftype dialpix.gauge)"
  winecmd reg query 'HKLM\Software\Classes\dialpix.gauge\shell\open\command' | grep -qF "$open" ||
    fail "the open command is not in HKLM\\Software\\Classes"
  winecmd reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\dialpix' |
    grep -q UninstallString || fail "no entry in Apps & features"
  [ "$(winecmd "C:\\Program Files\\dialpix\\dialpix.com" --version | head -1)" = "dialpix $version" ] ||
    fail "the installed dialpix.com --version: $(winecmd "C:\\Program Files\\dialpix\\dialpix.com" --version)"
  winecmd reg query 'HKCU\Environment' /v Path | grep -qF "$path;C:\Program Files\dialpix" ||
    fail "the user's PATH: $(winecmd reg query 'HKCU\Environment' /v Path)"
  [ "$(winecmd cmd /c dialpix --version | head -1)" = "dialpix $version" ] ||
    fail "dialpix is not found on the PATH"

  # While dialpix runs (dialpix.com here, its output held up), the uninstall
  # removes nothing and fails; run in place it reports that. (_?= takes the
  # folder unquoted, spaces and all, which only a batch file passes on.)
  local big="$build/installer-gauges"
  rm -rf "$big" && mkdir -p "$big"
  for i in $(seq 200); do cp "$build/demo/PANEL.GAU" "$big/p$i.gau"; done
  local held="$build/installer-held" status=0
  rm -f "$held" && mkfifo "$held"
  (cd "$big" && timeout 120 wine "C:\\Program Files\\dialpix\\dialpix.com" list --json . >"$held" 2>/dev/null || true) &
  exec 7<"$held"  # opened, never read: dialpix.com waits once the pipe is full
  sleep 3
  printf '@"%s" /S _?=%s\r\n@exit /b %%ERRORLEVEL%%\r\n' 'C:\Program Files\dialpix\Uninstall.exe' \
    'C:\Program Files\dialpix' >"$WINEPREFIX/drive_c/uninstall-in-place.bat"
  timeout 120 wine cmd /c 'C:\uninstall-in-place.bat' || status=$?
  exec 7<&-
  wait
  rm -f "$held"
  [ "$status" != 0 ] || fail "the uninstall reported success while dialpix ran"
  for f in dialpix.exe dialpix.com Uninstall.exe; do
    [ -f "$dir/$f" ] || fail "the failed uninstall removed $f"
  done

  # The uninstaller copies itself away and returns at once: wait for its work.
  timeout 120 wine "C:\\Program Files\\dialpix\\Uninstall.exe" /S || fail "the silent uninstall failed"
  for _ in $(seq 120); do [ -e "$dir" ] || break; sleep 0.5; done
  [ ! -e "$dir" ] || fail "the uninstall left $(ls "$dir")"
  [ ! -e "$menu" ] || fail "the uninstall left the Start-menu folder"
  [ "$(winecmd cmd /c assoc .gau)" = ".gau=earlier.gauge" ] ||
    fail ".gau was not given back: $(winecmd cmd /c assoc .gau)"
  local now
  now="$(winecmd reg query 'HKCU\Environment' /v Path | sed -n 's/.*REG_EXPAND_SZ *//p')"
  [ "$now" = "$path" ] || fail "the user's PATH after the uninstall: $now"
  for key in 'HKLM\Software\Classes\dialpix.gauge' \
             'HKLM\Software\Classes\Applications\dialpix.exe' 'HKLM\Software\dialpix' \
             'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\dialpix'; do
    if timeout 60 wine reg query "$key" >/dev/null 2>&1; then fail "the uninstall left $key"; fi
  done
  wineserver -k  # writes the registry out
  if grep -il dialpix "$WINEPREFIX"/*.reg; then fail "the registry still names dialpix"; fi
}

# run NAME PROGRAM [ARG...]: one test program under wine, its output shown on failure.
# Qt Test reports to the debugger where no console is attached, so its tests
# are given a file (NAME.txt) to write to.
run() {
  local name="$1"
  shift
  printf '%s ' "$name"
  rm -f "$name.txt"
  if timeout 600 wine "$@" >"$name.log" 2>&1; then
    echo ok
  else
    echo FAILED
    cat "$name.log" "$name.txt" 2>/dev/null
    return 1
  fi
}

# The command line beside the Linux program's (./test builds build/dialpix
# first): the same listing, byte for byte, and the same exported .BMP files.
compare_with_linux() {
  local linux="$here/build/dialpix"
  [ -x "$linux" ] || { echo "windows: no build/dialpix to compare the command line with"; return 0; }
  echo "== Windows: the command line beside Linux's"
  local gauges=(altimeter.gau lamps.gau PANEL.GAU tapes.gau)
  rm -rf "$build/beside" && mkdir -p "$build/beside/windows" "$build/beside/linux"
  (cd "$build/demo" && timeout 300 wine ../dialpix.com list --json "${gauges[@]}") \
    >"$build/beside/windows.json" 2>/dev/null || fail "dialpix.com list --json failed"
  (cd "$build/demo" && "$linux" list --json "${gauges[@]}") >"$build/beside/linux.json"
  cmp -s "$build/beside/windows.json" "$build/beside/linux.json" ||
    fail "dialpix.com list --json differs from Linux's"
  (cd "$build/demo" && timeout 300 wine ../dialpix.com export -o ../beside/windows "${gauges[@]}") \
    >/dev/null 2>&1 || fail "dialpix.com export failed"
  (cd "$build/demo" && "$linux" export -o ../beside/linux "${gauges[@]}") >/dev/null
  diff -r "$build/beside/windows" "$build/beside/linux" >/dev/null ||
    fail "dialpix.com export wrote other .BMP files than Linux's"
  (cd "$build/demo" && timeout 300 wine ../dialpix.com sheet --all PANEL.GAU -o ../beside/windows.png) \
    >/dev/null 2>&1 || fail "dialpix.com sheet failed"
  (cd "$build/demo" && "$linux" sheet --all PANEL.GAU -o ../beside/linux.png) >/dev/null
  cmp -s "$build/beside/windows.png" "$build/beside/linux.png" ||
    fail "dialpix.com sheet drew another picture than Linux's"
  echo "list --json, export and sheet: the same bytes as on Linux"
}

# A fresh prefix without a graphics driver, as on a server: the first command
# runs while wine still sets the prefix up, the commands work without a
# display, and the windows say that they need one instead of waiting for a
# user who never comes.
check_without_display() (
  echo "== Windows: a first run in a fresh prefix, without a display"
  local dir="$build/headless" com="$build/dialpix.com"
  rm -rf "$dir" && mkdir -p "$dir/out" && cp "$build/demo/lamps.gau" "$dir/"
  unset DISPLAY WAYLAND_DISPLAY WINEQT_QPA_PLATFORM
  export WINEPREFIX="$build/wine-headless" WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winex11.drv=d"
  rm -rf "$WINEPREFIX"
  cd "$dir"
  timeout 300 wine "$com" export -o out lamps.gau >first.txt 2>&1 ||
    fail "the first dialpix.com export in a fresh prefix: $(cat first.txt)"
  if grep -i 'unhandled\|page fault' first.txt; then fail "the first dialpix.com export crashed"; fi
  [ "$(ls out)" = "$(printf 'lamps-%s.bmp\n' 1 2 3 4)" ] || fail "the first export wrote $(ls out)"
  timeout 60 wine "$com" import lamps.gau 1 out/lamps-2.bmp ||
    fail "dialpix.com import without a display"
  timeout 60 wine "$com" render lamps.gau 1 -o one.png && [ -s one.png ] ||
    fail "dialpix.com render without a display"
  timeout 60 wine "$com" sheet lamps.gau -o sheet.png && [ -s sheet.png ] ||
    fail "dialpix.com sheet without a display"
  local status
  for windows in "$com" "$com ." "$build/dialpix.exe ."; do
    status=0
    timeout 60 wine $windows >out.txt 2>err.txt || status=$?
    [ $status = 1 ] && grep -q 'the windows need a display, and wine has no graphics driver' err.txt ||
      fail "$windows without a display: status $status, $(cat err.txt)"
  done
  wineserver -k
  echo "the commands work; the windows say that they need a display"
)

stage_test() {
  have_qt || fail "no Qt for Windows: $archive is missing (tools/build-qt-mingw.sh makes it)"
  build="$here/build-windows"
  local start=$SECONDS
  trap stop_servers EXIT
  configure "$build" ON
  # The build runs the demo and icon writers under wine in this prefix.
  fresh_prefix "$build/wine"
  cmake --build "$build" -j"$jobs"
  echo "== Windows: the tests under wine"
  # wine hands QT_* to Windows programs only when spelt WINEQT_*. Qt logs to
  # stderr, not to the debugger, where no console is attached.
  export WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1
  cd "$build"
  local failed=0
  run core_tests ./core_tests.exe || failed=1
  run imageio_tests ./imageio_tests.exe || failed=1
  for t in tst_*.exe; do run "${t%.exe}" "./$t" -o "${t%.exe}.txt,txt" || failed=1; done
  # The viewer's picture at a screen scale where a 1x picture enlarged comes out uneven.
  WINEQT_SCALE_FACTOR=1.5 run tst_showbmp_at_scale_1.5 ./tst_showbmp.exe \
    -o tst_showbmp_at_scale_1.5.txt,txt everyPixelKeepsItsOwnBlock || failed=1
  WINEQT_SCALE_FACTOR=1.5 run tst_gallery_at_scale_1.5 ./tst_gallery.exe \
    -o tst_gallery_at_scale_1.5.txt,txt || failed=1
  cd "$here"
  [ $failed -eq 0 ] || fail "a test failed under wine"
  compare_with_linux
  check_without_display
  local exe="$build/dialpix.exe"
  if x86_64-w64-mingw32-objdump -p "$exe" "$build/dialpix.com" | grep 'DLL Name' | sort -u |
      grep -viE '(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|ws2_32|winmm|imm32|uxtheme|dwmapi|version|shlwapi|netapi32|userenv|setupapi|d3d9|d3d11|dxgi|dwrite|wtsapi32|authz|mpr|msvcrt|api-ms-win-.*|comctl32|winspool.drv|rpcrt4|crypt32|secur32|bcrypt|ntdll|d2d1|shcore)\.dll'; then
    fail "dialpix needs a DLL that Windows does not have"
  fi
  echo "== Windows: the installer"
  make_packages "$build"
  local version
  version="$(sed -n 's/^project(dialpix VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")"
  check_installer "$build/packages/dialpix-$version-win64-setup.exe" "$version"
  echo "windows: all passed in $((SECONDS - start)) s"
}

stage_package() {
  have_qt || fail "no Qt for Windows: $archive is missing (tools/build-qt-mingw.sh makes it)"
  build="$here/build-windows-package"
  trap stop_servers EXIT
  configure "$build" OFF
  fresh_prefix "$build/wine"
  cmake --build "$build" -j"$jobs"
  make_packages "$build"
  cp "$build"/packages/dialpix-*-win64.zip "$build"/packages/dialpix-*-win64-setup.exe "$here/"
  ls "$here"/dialpix-*-win64.zip "$here"/dialpix-*-win64-setup.exe
}

case "${1:-}" in
  have-qt) have_qt ;;
  test) stage_test ;;
  package) stage_package ;;
  *) echo "usage: tools/windows.sh have-qt|test|package" >&2; exit 2 ;;
esac
