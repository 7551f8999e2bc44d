#!/usr/bin/env bash
# Builds every fuzz target as a libFuzzer binary (clang, ASan+UBSan, no recovery) in
# build/fuzz and runs each for a bounded time.
#   scripts/fuzz.sh [--keep] [seconds per target, default 60] [target names ...]
# New inputs go to build/fuzz/corpus/<name>; the seeds in fuzz/corpus/<name> stay as they
# are, unless --keep merges what the run found into them (minimised: the smallest set of
# inputs with the same coverage), for the test command's replays. A crash stops the run
# and leaves its input in build/fuzz/artifacts/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
keep=no
if [ "${1:-}" = --keep ]; then
  keep=yes
  shift
fi
seconds=${1:-60}
shift || true
build="$root/build/fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHALVARD_FUZZ=ON -DHALVARD_SANITIZE=ON -DHALVARD_TESTS=OFF >/dev/null
cmake --build "$build" -j2

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$root"/fuzz/*_fuzz.cpp; do
    n=$(basename "$f" _fuzz.cpp)
    targets+=("$n")
  done
fi

mkdir -p "$build/artifacts"
for name in "${targets[@]}"; do
  exe="$build/fuzz/${name}_fuzzer"
  [ -x "$exe" ] || { echo "fuzz: no target $name" >&2; exit 1; }
  work="$build/corpus/$name"
  mkdir -p "$work"
  echo "fuzz: $name for ${seconds}s"
  log="$build/$name.log"
  status=0
  ASAN_OPTIONS=halt_on_error=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/artifacts/${name}-" \
    "$work" "$root/fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  grep -E "^(Done|stat::number_of_executed_units|SUMMARY)|cov: .*(DONE|TIMEOUT)" "$log" || true
  grep -E "#[0-9]+ +(DONE|INITED) " "$log" | tail -n 1 || true
  if [ $status -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzz: $name failed (log $log, input in $build/artifacts)" >&2
    exit 1
  fi
  if [ $keep = yes ]; then
    merged=$(mktemp -d)
    "$exe" -merge=1 "$merged" "$root/fuzz/corpus/$name" "$work" >>"$log" 2>&1
    rm -rf "$root/fuzz/corpus/$name"
    mv "$merged" "$root/fuzz/corpus/$name"
    echo "fuzz: $name corpus kept: $(ls "$root/fuzz/corpus/$name" | wc -l) inputs"
  fi
done
echo "fuzz: all targets ran clean"
