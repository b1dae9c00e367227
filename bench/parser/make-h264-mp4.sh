#!/bin/sh
# Makes the real H.264 MP4 that `bench_parser --h264-mp4 FILE` measures: libx264 at a small
# size with B-frames and several slices, FRAMES frames (default 100000). Needs ffmpeg.
#   make-h264-mp4.sh OUT.mp4 [FRAMES]
set -eu
out=${1:?usage: make-h264-mp4.sh OUT.mp4 [FRAMES]}
frames=${2:-100000}
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=160x90:rate=50" -frames:v "$frames" \
  -c:v libx264 -preset ultrafast -tune zerolatency -x264-params "bframes=2:b-adapt=0:keyint=100:slices=2" \
  -b:v 150k "$out"
