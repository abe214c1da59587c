#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a set time each, one after another.
# Usage: fuzz/run_fuzzers.sh BUILD_DIR SECONDS [TARGET...]   (default: every target)
# The committed seeds in fuzz/corpus/<target> are read, never written; what libFuzzer finds
# new goes to BUILD_DIR/corpus/<target>, crashes to BUILD_DIR/crashes/<target>/. Exits non-zero
# when any crash file is there. As root, each run is in a network namespace of its own, so
# host names a control is given to resolve never leave the machine.
set -uo pipefail

build=$1
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for seeds in "$source_dir"/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi

isolate=()
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then isolate=(unshare -n); fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=0
for target in "${targets[@]}"; do
  program="$build/fuzz/fuzz_$target"
  corpus="$build/corpus/$target"
  crashes="$build/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  echo "== $target: $seconds s"
  "${isolate[@]}" "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "$source_dir/corpus/$target" \
    >"$build/$target.log" 2>&1
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$build/$target.log"
  if [ -n "$(ls -A "$crashes")" ]; then
    echo "   crashes kept in $crashes:"
    ls "$crashes" | sed 's/^/     /'
    failed=1
  fi
done
exit $failed
