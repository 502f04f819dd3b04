#!/usr/bin/env bash
# bench/command_line/run.sh [ROUNDS]: the command line on 500 gauge files of
# 64 KiB each (32 MiB), each figure beside a baseline from the same run:
#   dialpix list FOLDER                     beside  wrestool -l FILES  (icoutils)
#   dialpix list --json FOLDER2             beside  dialpix list FOLDER2, over 2,000 gauge
#                                                   files of 101 bitmaps each
#   dialpix export every bitmap of them     beside  cp of the same .BMP files, and
#                                                   beside  that cp followed by sync -f, since
#                                                   the export puts each file on the disk
# Each round runs the two commands of a pair once, one after the other, so
# they alternate; the medians over ROUNDS (default 15) are printed.
# Needs hyperfine and icoutils: apt-get install hyperfine icoutils
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD:-$root/build}"
rounds="${1:-15}"
for tool in hyperfine wrestool python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (apt-get install hyperfine icoutils)" >&2; exit 1; }
done

cmake --build "$build" --target dialpix make_module_gauges -j2 >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/make_module_gauges" "$work/gauges" 500
"$build/make_module_gauges" "$work/many" 2000 101
mkdir "$work/bmp" "$work/copy"
dialpix="$build/dialpix"
files=$(ls "$work"/gauges/*.gau | tr '\n' ' ')
"$dialpix" export -o "$work/bmp" $files  # the files the cp baseline copies
bmps=$(ls "$work"/bmp/*.bmp | tr '\n' ' ')
echo "files: $(ls "$work/gauges" | wc -l) gauges, $(du -sb "$work/gauges" | cut -f1) bytes;" \
  "$(ls "$work/bmp" | wc -l) bitmaps, $(du -sb "$work/bmp" | cut -f1) bytes of .BMP"

# pair NAME SHELL COMMAND BASELINE: alternating rounds, then the medians and their ratio.
# SHELL is -N to run the commands directly, or a shell for a baseline of two commands.
pair() {
  local name="$1" shell="$2" a="$3" b="$4"
  hyperfine $shell --runs 2 --output=null "$a" "$b" >/dev/null  # warm the page cache
  for i in $(seq "$rounds"); do
    hyperfine $shell --runs 1 --output=null --export-json "$work/$name-$i.json" "$a" "$b" >/dev/null
  done
  python3 - "$name" "$work" "$rounds" <<'PY'
import json, statistics, sys
name, work, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
times = [[], []]
for i in range(1, rounds + 1):
    for k, r in enumerate(json.load(open(f"{work}/{name}-{i}.json"))["results"]):
        times[k] += r["times"]
a, b = (statistics.median(t) * 1000 for t in times)
print(f"{name}: dialpix {a:.1f} ms, baseline {b:.1f} ms (median of {rounds} each); "
      f"dialpix takes {a / b:.2f}x the baseline's time")
PY
}

pair list -N "$dialpix list $work/gauges" "wrestool -l $files"
pair list-json -N "$dialpix list --json $work/many" "$dialpix list $work/many"
pair export -N "$dialpix export --force -o $work/bmp $files" "cp $bmps $work/copy"
pair export-synced "--shell=sh" "$dialpix export --force -o $work/bmp $files" \
  "cp $bmps $work/copy && sync -f $work/copy"
