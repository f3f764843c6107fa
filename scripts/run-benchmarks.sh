#!/usr/bin/env bash
# Runs every benchmark the build produced, each printing the figures it defends, then a summary:
# one line per figure with its goal. Fails when a benchmark fails or a goal is missed.
set -uo pipefail
build=${1:-build}
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for b in "$build"/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=offscreen "$b" 2>&1 | tee -a "$log" | grep --line-buffered -v '^FIGURE '
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "!! $(basename "$b") failed"; status=1; }
done
echo
echo "== Summary"
sed -n 's/^FIGURE //p' "$log"
if grep -q 'ERROR OCCURRED' "$log"; then
  echo "A benchmark could not measure (ERROR OCCURRED above)."
  status=1
fi
if grep -q '^FIGURE .*NOT MET$' "$log"; then
  echo "Some goals are not met."
  status=1
fi
exit $status
