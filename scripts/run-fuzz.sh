#!/usr/bin/env bash
# Runs each fuzz target for the given seconds, one after the other on one core. The committed
# seeds stay as they are: what a run finds goes into the build's own corpus, and an input that
# breaks a target into <build>/artifacts, and the script fails.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/artifacts"
status=0
# A decoder input is a whole session; longer ones only slow it down.
for target in config:4096 decoder:256; do
  max_len=${target#*:}
  target=${target%:*}
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== fuzz-$target, ${seconds} s"
  if ! "$build/fuzz-$target" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
      -dict="$src/fuzz/$target.dict" -artifact_prefix="$build/artifacts/$target-" \
      "$corpus" "$src/fuzz/corpus/$target" 2>"$build/fuzz-$target.log"; then
    tail -n 40 "$build/fuzz-$target.log" >&2
    echo "fuzz-$target found a fault; the input is in $build/artifacts" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$build/fuzz-$target.log" || true
  fi
done
exit $status
