#!/bin/sh
# Runs a program of the Windows build under wine, quietly and inside the given
# prefix: no menu entries or file types on this machine's desktop
# (winemenubuilder), no Mono or Gecko set-up. The build runs its demo and icon
# writers through it.
# usage: tools/wine-run.sh PREFIX PROGRAM [ARG...]
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
shift
exec wine "$@"
