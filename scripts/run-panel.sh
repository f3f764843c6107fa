#!/usr/bin/env bash
# Starts the panel against the simulated controller. Without a display it runs the panel under
# a virtual one, saves a screenshot and prints where it is.
set -euo pipefail
build=${1:-build}
exe="$build/quillon-utility"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$exe" --simulate
fi
shot="$(cd "$build" && pwd)/panel.png"
xvfb-run -a -s "-screen 0 1280x1024x24" "$exe" --simulate --screenshot "$shot"
echo "No display: the panel ran under Xvfb; its screenshot is $shot"
