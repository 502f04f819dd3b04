#!/bin/sh
# unprivileged.sh PROGRAM [ARGUMENT...]: runs a test program as a user who may
# not write other users' files. Run as root, as ./test and CI run, it runs the
# program as nobody, from a copy in a fresh folder of that user's own, since
# the build tree may lie where nobody can read it; otherwise as it is.
set -eu
[ "$(id -u)" -eq 0 ] || exec "$@"
user=nobody
uid="$(id -u "$user")" && gid="$(id -g "$user")" || { echo "no user $user to run as" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/"
program="$work/$(basename "$1")"
shift
chown -R "$uid:$gid" "$work"
cd "$work"
status=0
HOME="$work" TMPDIR="$work" XDG_RUNTIME_DIR="$work" \
  setpriv --reuid="$uid" --regid="$gid" --clear-groups "$program" "$@" || status=$?
exit "$status"
