#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one.
#   tools/fuzz.sh              short run by run count (what ./test does)
#   tools/fuzz.sh short N      N runs per target
#   tools/fuzz.sh long [N]     N runs per target (default 1,000,000)
# The corpus grows in build-fuzz/corpus; an input that breaks a target is kept
# in build-fuzz/findings, to be replayed with: build-fuzz/fuzz/<target> <file>
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
mode="${1:-short}"
runs="${2:-}"
build="$here/build-fuzz"
CXX=clang++ CC=clang cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDIALPIX_FUZZ=ON -DDIALPIX_GUI=OFF -DDIALPIX_BENCH=OFF -DDIALPIX_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

seeds="$build/seeds"
rm -rf "$seeds" && mkdir -p "$seeds"
"$build/make_samples" "$seeds"
"$build/fuzz/make_fuzz_seeds" "$seeds"

if [ "$mode" = long ]; then
  runs="${runs:-1000000}"
else
  # About a minute for all targets together, from a fresh clone on two cores.
  runs="${runs:-100000}"
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
passed=0
failed=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="$build/corpus/$name"
  mkdir -p "$corpus" "$build/findings"
  work="$(mktemp -d)"
  # Each target works in a folder of its own for the files it writes.
  if (cd "$work" && "$target" -runs="$runs" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 \
        -artifact_prefix="$build/findings/$name-" "$corpus" "$seeds" >"$build/$name.log" 2>&1); then
    echo "fuzz $name: $(grep -E 'stat::number_of_executed_units' "$build/$name.log" | awk '{print $2}') runs, no finding"
    passed=$((passed + 1))
  else
    echo "fuzz $name: FAILED, see $build/$name.log; the input is in $build/findings"
    tail -n 30 "$build/$name.log"
    status=1
    failed=$((failed + 1))
  fi
  rm -rf "$work"
done
echo "fuzz: $passed passed, $failed failed"
exit $status
