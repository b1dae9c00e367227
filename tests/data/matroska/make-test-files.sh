#!/bin/sh
# Makes the Matroska and WebM test files and their witnesses.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, mkvtoolnix (mkvmerge, mkvinfo),
# gst-launch-1.0 with gstreamer1.0-plugins-good/-base/-bad, python3.
# Witnesses, for every file the tools can read:
#   <file>.mkvinfo.txt  mkvinfo -a -v -v -z -P: the position and size of every element and frame
#                       (mkvinfo does not list CRC-32 elements);
#   <file>.packets      ffprobe's packets as "stream,size,pos" lines (pos: the block's data).
# compare-mkvinfo.py then checks corvanta-dump against the mkvinfo witnesses; its report,
# compare-mkvinfo.result.txt, is committed beside the files.
set -eu
cd "$(dirname "$0")"
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
video="-f lavfi -i testsrc=size=160x120:rate=10:duration=1"
small_video="-f lavfi -i testsrc=size=64x48:rate=10:duration=0.5"
yuv420="-pix_fmt yuv420p"
audio="-f lavfi -i sine=frequency=440:sample_rate=16000:duration=1"
x264="-c:v libx264 -preset ultrafast -tune zerolatency -b:v 40k -g 5 -pix_fmt yuv420p"
mkvmerge="mkvmerge -q --engage no_variable_data"

# Sources for mkvmerge, made by ffmpeg.
$ff $video $audio $x264 -c:a aac -b:a 24k "$work/h264-aac.mp4"
$ff -f lavfi -i testsrc=size=160x120:rate=10:duration=0.5 -c:v libx265 $yuv420 -preset ultrafast -b:v 40k \
  -x265-params log-level=error "$work/hevc.mp4"
$ff -f lavfi -i sine=frequency=440:sample_rate=16000:duration=0.5 -c:a libvorbis -b:a 32k "$work/vorbis.ogg"
$ff -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.3 -c:a ac3 -b:a 64k "$work/audio.ac3"
$ff -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.5 -c:a libmp3lame -b:a 32k "$work/audio.mp3"
$ff -f lavfi -i testsrc=size=16x16:duration=0.1 -frames:v 1 "$work/cover.png"

# mkvmerge: EBML lacing (AAC), Xiph lacing (Vorbis, forced; MP3), fixed lacing (AC-3, MP3), BlockGroups,
# chapters with nested atoms, tags with nested simple tags, an attachment.
$mkvmerge -o mkvmerge-h264-aac.mkv "$work/h264-aac.mp4"
$mkvmerge -o mkvmerge-hevc.mkv "$work/hevc.mp4"
$mkvmerge --engage lacing_xiph -o mkvmerge-vorbis.mka "$work/vorbis.ogg"
$mkvmerge -o mkvmerge-ac3.mka "$work/audio.ac3"
$mkvmerge --engage no_simpleblocks -o mkvmerge-blockgroups.mkv -A "$work/h264-aac.mp4" "$work/audio.mp3"
cat > "$work/chapters.xml" <<'XML'
<?xml version="1.0"?>
<Chapters>
  <EditionEntry>
    <EditionFlagDefault>1</EditionFlagDefault>
    <ChapterAtom>
      <ChapterTimeStart>00:00:00.000</ChapterTimeStart>
      <ChapterTimeEnd>00:00:00.500</ChapterTimeEnd>
      <ChapterDisplay><ChapterString>Opening</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay>
      <ChapterAtom>
        <ChapterTimeStart>00:00:00.200</ChapterTimeStart>
        <ChapterDisplay><ChapterString>Inside the opening</ChapterString></ChapterDisplay>
      </ChapterAtom>
    </ChapterAtom>
    <ChapterAtom>
      <ChapterTimeStart>00:00:00.500</ChapterTimeStart>
      <ChapterDisplay><ChapterString>Second</ChapterString></ChapterDisplay>
    </ChapterAtom>
  </EditionEntry>
</Chapters>
XML
cat > "$work/tags.xml" <<'XML'
<?xml version="1.0"?>
<Tags>
  <Tag>
    <Targets><TargetTypeValue>50</TargetTypeValue></Targets>
    <Simple><Name>TITLE</Name><String>Corvanta test</String>
      <Simple><Name>SUBTITLE</Name><String>nested</String></Simple>
    </Simple>
    <Simple><Name>ARTIST</Name><String>Corvanta</String></Simple>
  </Tag>
</Tags>
XML
$mkvmerge -o mkvmerge-chapters-tags-attachment.mkv --title "Corvanta test" --chapters "$work/chapters.xml" \
  --global-tags "$work/tags.xml" --attachment-mime-type image/png --attachment-description "a cover" \
  --attach-file "$work/cover.png" -A "$work/h264-aac.mp4"

# ffmpeg: CRC-32 elements in every top element (its Matroska default), VP9 + Opus WebM with
# CodecDelay and DiscardPadding, AV1, VP8 with alpha in BlockAdditions, Video for Windows and
# ACM private data, a live WebM whose Segment has an unknown size.
$ff $video $audio $x264 -c:a aac -b:a 24k ffmpeg-h264-aac.mkv
$ff $small_video -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.5 -c:v libvpx-vp9 $yuv420 -b:v 30k \
  -deadline realtime -cpu-used 8 -c:a libopus -b:a 16k ffmpeg-vp9-opus.webm
$ff $small_video -c:v libaom-av1 $yuv420 -cpu-used 8 -usage realtime -b:v 30k ffmpeg-av1.mkv
$ff $small_video -c:v mpeg2video -g 3 -bf 1 -b:v 100k ffmpeg-mpeg2.mkv
$ff $small_video -pix_fmt yuva420p -c:v libvpx -b:v 50k -auto-alt-ref 0 ffmpeg-vp8-alpha.webm
$ff $small_video -f lavfi -i sine=frequency=440:sample_rate=16000:duration=0.5 -c:v msmpeg4v2 -c:a wmav2 \
  -b:a 32k ffmpeg-vfw-acm.mkv
$ff $small_video -c:v libvpx-vp9 $yuv420 -b:v 30k -deadline realtime -cpu-used 8 -live 1 ffmpeg-live.webm

# GStreamer: VP8 + Vorbis in webmmux; Theora + FLAC in a streamable matroskamux, whose Segment and
# Clusters have unknown sizes.
gst-launch-1.0 -q -e webmmux name=m ! filesink location=gstreamer-vp8-vorbis.webm \
  videotestsrc num-buffers=5 ! video/x-raw,width=64,height=48,framerate=10/1 ! vp8enc deadline=1 target-bitrate=50000 ! m. \
  audiotestsrc num-buffers=5 samplesperbuffer=1600 ! audio/x-raw,rate=16000,channels=1 ! vorbisenc ! m.
gst-launch-1.0 -q -e matroskamux name=m streamable=true ! filesink location=gstreamer-live.mkv \
  videotestsrc num-buffers=5 ! video/x-raw,width=64,height=48,framerate=10/1 ! theoraenc ! m. \
  audiotestsrc num-buffers=5 samplesperbuffer=1600 ! audio/x-raw,rate=16000,channels=1 ! flacenc ! m.

# mkvmerge again: the VP9 + Opus WebM with two blocks per cluster, so that clusters start with
# inter frames whose headers need the reference slots that the cluster before left.
$mkvmerge --disable-language-ietf --cluster-length 2 -o mkvmerge-short-clusters.webm ffmpeg-vp9-opus.webm

# Damaged copies, made with a small EBML walk:
# - truncated-in-cluster.mkv, truncated-in-tracks.mkv: ffmpeg-h264-aac.mkv cut there;
# - corrupt-junk.mkv: 40 bytes of junk between two clusters of mkvmerge-h264-aac.mkv (the seek
#   and cue entries behind it then point 40 bytes short);
# - corrupt-tracks-size.mkv: the Tracks size of mkvmerge-h264-aac.mkv made to run over the Void and
#   into the first Cluster;
# - corrupt-crc.mkv: one frame byte of ffmpeg-h264-aac.mkv changed under its Cluster's CRC-32;
# - corrupt-seek.mkv: in mkvmerge-h264-aac.mkv, the SeekPosition of Tracks and the first
#   CueClusterPosition moved 3 bytes, to where no such element starts.
python3 - <<'PY'
def vint(data, pos):
    first = data[pos]
    width = 1
    while width <= 8 and not first & (0x80 >> (width - 1)):
        width += 1
    value = int.from_bytes(data[pos:pos + width], "big")
    return value, width

def elements(data, begin, end):
    pos = begin
    while pos < end:
        ident, id_width = vint(data, pos)
        size, size_width = vint(data, pos + id_width)
        size &= (1 << (7 * size_width)) - 1
        data_at = pos + id_width + size_width
        yield pos, ident, data_at, size, size_width
        pos = data_at + size

def top(data):
    segment = [e for e in elements(data, 0, len(data)) if e[1] == 0x18538067][0]
    return list(elements(data, segment[2], segment[2] + segment[3]))

SEGMENT_CHILDREN = {"tracks": 0x1654AE6B, "cluster": 0x1F43B675, "seekhead": 0x114D9B74, "cues": 0x1C53BB6B}

ffmpeg = open("ffmpeg-h264-aac.mkv", "rb").read()
clusters = [e for e in top(ffmpeg) if e[1] == SEGMENT_CHILDREN["cluster"]]
tracks = [e for e in top(ffmpeg) if e[1] == SEGMENT_CHILDREN["tracks"]][0]
open("truncated-in-cluster.mkv", "wb").write(ffmpeg[:clusters[0][2] + clusters[0][3] // 2])
open("truncated-in-tracks.mkv", "wb").write(ffmpeg[:tracks[2] + tracks[3] // 2])

# The first cluster starts with its CRC-32 (6 bytes), then Timestamp, then blocks: change a byte
# in the middle of the cluster, inside a frame.
data = bytearray(ffmpeg)
data[clusters[0][2] + clusters[0][3] // 2] ^= 0xFF
open("corrupt-crc.mkv", "wb").write(data)

merged = open("mkvmerge-h264-aac.mkv", "rb").read()
clusters = [e for e in top(merged) if e[1] == SEGMENT_CHILDREN["cluster"]]
at = clusters[1][0]
open("corrupt-junk.mkv", "wb").write(merged[:at] + bytes(range(0x80, 0xa8)) + merged[at:])

data = bytearray(merged)
tracks = [e for e in top(merged) if e[1] == SEGMENT_CHILDREN["tracks"]][0]
size_at = tracks[2] - tracks[4]
grown = tracks[3] + 2000
data[size_at:tracks[2]] = ((1 << (7 * tracks[4])) | grown).to_bytes(tracks[4], "big")
open("corrupt-tracks-size.mkv", "wb").write(data)

data = bytearray(merged)
seekhead = [e for e in top(merged) if e[1] == SEGMENT_CHILDREN["seekhead"]][0]
for seek in elements(merged, seekhead[2], seekhead[2] + seekhead[3]):
    children = {e[1]: e for e in elements(merged, seek[2], seek[2] + seek[3])}
    if merged[children[0x53AB][2]:children[0x53AB][2] + 4] == bytes.fromhex("1654AE6B"):
        pos = children[0x53AC]
        value = int.from_bytes(merged[pos[2]:pos[2] + pos[3]], "big") + 3
        data[pos[2]:pos[2] + pos[3]] = value.to_bytes(pos[3], "big")
cues = [e for e in top(merged) if e[1] == SEGMENT_CHILDREN["cues"]][0]
cue_point = next(elements(merged, cues[2], cues[2] + cues[3]))
positions = [e for e in elements(merged, cue_point[2], cue_point[2] + cue_point[3]) if e[1] == 0xB7][0]
cluster_position = [e for e in elements(merged, positions[2], positions[2] + positions[3]) if e[1] == 0xF1][0]
value = int.from_bytes(merged[cluster_position[2]:cluster_position[2] + cluster_position[3]], "big") + 3
data[cluster_position[2]:cluster_position[2] + cluster_position[3]] = value.to_bytes(cluster_position[3], "big")
open("corrupt-seek.mkv", "wb").write(data)
PY

for f in mkvmerge-h264-aac.mkv mkvmerge-hevc.mkv mkvmerge-vorbis.mka mkvmerge-ac3.mka mkvmerge-blockgroups.mkv \
         mkvmerge-chapters-tags-attachment.mkv ffmpeg-h264-aac.mkv ffmpeg-vp9-opus.webm ffmpeg-av1.mkv ffmpeg-mpeg2.mkv \
         ffmpeg-vp8-alpha.webm ffmpeg-vfw-acm.mkv ffmpeg-live.webm gstreamer-vp8-vorbis.webm gstreamer-live.mkv \
         mkvmerge-short-clusters.webm corrupt-junk.mkv corrupt-tracks-size.mkv corrupt-crc.mkv corrupt-seek.mkv; do
  ffprobe -v error -show_entries packet=stream_index,pos,size -of csv=p=0 "$f" > "$f.packets"
done
# mkvinfo gives up at the junk and at the Tracks that runs into a Cluster: no witness of its own
# there (the tests compare those files with their intact source).
for f in mkvmerge-h264-aac.mkv mkvmerge-hevc.mkv mkvmerge-vorbis.mka mkvmerge-ac3.mka mkvmerge-blockgroups.mkv \
         mkvmerge-chapters-tags-attachment.mkv ffmpeg-h264-aac.mkv ffmpeg-vp9-opus.webm ffmpeg-av1.mkv ffmpeg-mpeg2.mkv \
         ffmpeg-vp8-alpha.webm ffmpeg-vfw-acm.mkv ffmpeg-live.webm gstreamer-vp8-vorbis.webm gstreamer-live.mkv \
         mkvmerge-short-clusters.webm corrupt-crc.mkv corrupt-seek.mkv; do
  mkvinfo -a -v -v -z -P "$f" > "$f.mkvinfo.txt"
done
# The codec headers inside the frames, as ffmpeg's trace_headers reads them.
../make-frame-traces.sh mkvmerge-h264-aac.mkv ffmpeg-h264-aac.mkv mkvmerge-hevc.mkv mkvmerge-blockgroups.mkv ffmpeg-av1.mkv \
  ffmpeg-mpeg2.mkv ffmpeg-vp9-opus.webm gstreamer-vp8-vorbis.webm ffmpeg-vp8-alpha.webm
ls -l
