#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset) and runs each for SECONDS (default 15) from its seed
# corpus in tests/fuzz/corpus/. scripts/fuzz.sh 3600 fuzz_references runs one target for an hour.
# What a run finds is kept in build/fuzz/corpus/TARGET, so a later run goes on from there; a crash,
# leak or timeout stops the script and leaves its input as build/fuzz/crash-*, leak-* or timeout-*.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-15}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for path in tests/fuzz/corpus/*/; do targets+=("$(basename "$path")"); done
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

for target in "${targets[@]}"; do
  mkdir -p "build/fuzz/corpus/$target"
  log="build/fuzz/$target.log"
  # Absolute folders: the path translation target changes its working directory.
  if ! "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$root/build/fuzz/" -print_final_stats=1 \
      "$root/build/fuzz/corpus/$target" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$target: failed, see $log" >&2
    exit 1
  fi
  echo "$target: $(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs in $seconds s, no crash, leak or timeout"
done
