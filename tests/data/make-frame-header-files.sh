#!/bin/sh
# Makes the test files of the SEI timing messages, the HDR metadata and the AV1 frame headers
# inside frames, in MP4 (isobmff/) and Matroska (matroska/), with their witnesses: <file>.frames.trace.txt and
# <file>.pictures.csv (make-frame-traces.sh), <file>.packets (ffprobe's packets).
# Needs (only here, never when the tests run): ffmpeg and ffprobe with libx264, libx265,
# libsvtav1 and libaom.
# - h264-hrd.mp4: libx264 with NAL HRD (VBR) and B-frames: buffering period SEI at each IDR and
#   pic timing SEI in every access unit, their delays as long as the SPS's HRD says;
# - h264-hrd-interlaced.mkv: the same with CBR and interlaced (top field first) coding, so that
#   pic timing carries pic_struct and clock timestamps flags;
# - hevc-hdr10.mp4, hevc-hdr10.mkv: libx265 HDR10 (mastering display colour volume and content
#   light level SEI) with HRD, whose buffering period and pic timing SEI follow the VPS/SPS HRD;
# - av1-hdr.mp4, av1-hdr.mkv: SVT-AV1 HDR10, metadata OBUs of both HDR kinds in each key
#   frame's temporal unit; two tile columns, loop restoration signalled, hidden frames shown
#   later with show_existing_frame;
# - av1-segments.mkv: libaom with adaptive quantisation (segmentation with alt_q features, taken
#   over from reference frames), two tile columns, skip mode and hidden frames;
# - av1-film-grain.mkv: libaom with film grain synthesis (denoising), its parameters in every
#   shown frame's header.
#   make-frame-header-files.sh
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
x264="-c:v libx264 -preset ultrafast -b:v 60k -maxrate 80k -bufsize 160k -g 6 -bf 2 -pix_fmt yuv420p"
hdr_colour="-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc"
x265_hdr="log-level=error:info=0:hdr10=1:repeat-headers=1:hrd=1:vbv-maxrate=300:vbv-bufsize=600:keyint=8:bframes=2"
x265_hdr="$x265_hdr:master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1):max-cll=1000,400"
svt_hdr="mastering-display=G(0.265,0.690)B(0.150,0.060)R(0.680,0.320)WP(0.3127,0.3290)L(1000,0.0001)"
svt_hdr="$svt_hdr:content-light=1000,400:tile-columns=1:enable-restoration=1:keyint=8"

$ff -f lavfi -i testsrc=size=160x120:rate=25:duration=0.4 $x264 -x264-params nal-hrd=vbr isobmff/h264-hrd.mp4
$ff -f lavfi -i testsrc=size=160x120:rate=25:duration=0.4 $x264 -flags +ildct -x264-params nal-hrd=cbr:tff=1 \
  matroska/h264-hrd-interlaced.mkv
for f in isobmff/hevc-hdr10.mp4 matroska/hevc-hdr10.mkv; do
  $ff -f lavfi -i testsrc=size=160x120:rate=25:duration=0.4 -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le \
    $hdr_colour -x265-params "$x265_hdr" "$f"
done
for f in isobmff/av1-hdr.mp4 matroska/av1-hdr.mkv; do
  # SVT-AV1 prints its configuration on stderr whatever the log level.
  $ff -f lavfi -i testsrc=size=256x144:rate=25:duration=0.4 -c:v libsvtav1 -preset 8 -crf 45 -pix_fmt yuv420p10le \
    $hdr_colour -svtav1-params "$svt_hdr" "$f" 2>/dev/null
done

$ff -f lavfi -i testsrc=size=192x128:rate=25:duration=0.4 -c:v libaom-av1 -cpu-used 6 -b:v 80k -g 8 -aq-mode 1 \
  -tiles 2x1 matroska/av1-segments.mkv
$ff -f lavfi -i testsrc=size=128x96:rate=25:duration=0.24 -c:v libaom-av1 -cpu-used 6 -b:v 60k -g 6 \
  -denoise-noise-level 20 matroska/av1-film-grain.mkv

files="isobmff/h264-hrd.mp4 matroska/h264-hrd-interlaced.mkv isobmff/hevc-hdr10.mp4 matroska/hevc-hdr10.mkv
       isobmff/av1-hdr.mp4 matroska/av1-hdr.mkv matroska/av1-segments.mkv matroska/av1-film-grain.mkv"
for f in $files; do
  ffprobe -v error -show_entries packet=stream_index,pos,size -of csv=p=0 "$f" > "$f.packets"
done
./make-frame-traces.sh $files
ls -l $files
