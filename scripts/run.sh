#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build_dir=$("$root/scripts/build.sh" Release | tail -n 1)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
  echo "To run without a desktop, start it under a virtual X server:" >&2
  echo "  xvfb-run -a -s '-screen 0 1600x1000x24' $build_dir/src/corvanta" >&2
  exit 1
fi
exec "$build_dir/src/corvanta" "$@"
