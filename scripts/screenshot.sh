#!/usr/bin/env bash
# Makes docs/screenshot.png: the real window under a virtual X server with a file open,
# and docs/streams.png: the Streams window of a transport stream.
#   scripts/screenshot.sh [CONTAINER [STREAMS_CONTAINER]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build_dir=$("$root/scripts/build.sh" Release --target corvanta-screenshot | tail -n 1)
file=${1:-$root/tests/data/isobmff/progressive.mp4}
streams_file=${2:-$root/tests/data/mpegts/dvb.ts}
settings_dir=$(mktemp -d)
trap 'rm -rf "$settings_dir"' EXIT
# A fresh settings folder, so the picture shows the default layout.
XDG_CONFIG_HOME="$settings_dir" xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build_dir/tools/screenshot/corvanta-screenshot" "$file" "$root/docs/screenshot.png" \
  down down right down down down down down down
echo "$root/docs/screenshot.png"
XDG_CONFIG_HOME="$settings_dir" xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build_dir/tools/screenshot/corvanta-screenshot" "$streams_file" "$root/docs/streams.png" --streams
echo "$root/docs/streams.png"
