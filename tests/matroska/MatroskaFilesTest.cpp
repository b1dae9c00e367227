// Files made by real muxers (see tests/data/matroska/make-test-files.sh): the check passes, every
// element and frame is where mkvinfo finds it, every frame is where ffprobe finds its packet, the
// values a user reads first are right, and damaged copies show their damage without losing what
// is still good.
#include "MatroskaTestSupport.h"
#include "PacketWitness.h"
#include "TestSupport.h"

#include <algorithm>

using namespace mkvtest;

namespace {

const char* const kMuxerFiles[] = {
    "mkvmerge-h264-aac.mkv", "mkvmerge-hevc.mkv",      "mkvmerge-vorbis.mka",        "mkvmerge-ac3.mka",
    "mkvmerge-blockgroups.mkv", "mkvmerge-chapters-tags-attachment.mkv", "ffmpeg-h264-aac.mkv",
    "ffmpeg-vp9-opus.webm",  "ffmpeg-av1.mkv",         "ffmpeg-vp8-alpha.webm",      "ffmpeg-vfw-acm.mkv",
    "ffmpeg-live.webm",      "gstreamer-vp8-vorbis.webm", "gstreamer-live.mkv", "ffmpeg-mpeg2.mkv",
    "mkvmerge-short-clusters.webm"};

QString dataPath(const QString& file) { return corvanta::test::dataFile(QStringLiteral("matroska/") + file); }

// The frames of the parse by ffprobe's stream index (the order of the TrackEntry elements), each
// as the data start of its block and its size with the bytes that header stripping removed.
PerStream parsedFrames(const Parsed& parsed) {
  QMap<qint64, int> stream_of_track;
  QMap<qint64, qint64> stripped_of_track;
  for (const Element* entry : named(parsed, "TrackEntry")) {
    const Element* number = parsed.at(QStringLiteral("TrackNumber"), entry->id);
    if (!number) continue;
    const qint64 track = number->raw.toLongLong();
    stream_of_track[track] = int(stream_of_track.size());
    if (const Element* settings =
            parsed.at(QStringLiteral("ContentEncodings/ContentEncoding/ContentCompression/ContentCompSettings"), entry->id))
      stripped_of_track[track] = settings->byteSize() - 3;
  }
  QMap<qint64, const Element*> by_id;
  for (const Element& e : parsed.elements) by_id[e.id] = &e;
  PerStream out;
  for (const Element& e : parsed.elements) {
    if (e.name != QLatin1String("frame")) continue;
    const Element* number = parsed.at(QStringLiteral("track_number"), e.parent);
    if (!number) continue;
    const qint64 track = number->raw.toLongLong();
    out[stream_of_track.value(track, -1)].push_back({number->byteOffset(), e.byteSize() + stripped_of_track.value(track)});
  }
  for (auto& list : out) std::sort(list.begin(), list.end());
  return out;
}

QString elementLine(const Element& e) {
  return QStringLiteral("%1 %2 +%3 = %4 [%5]").arg(e.name).arg(e.byteOffset()).arg(e.byteSize()).arg(e.raw, e.hrf);
}

const Element* childNamed(const Parsed& parsed, const Element& parent, const char* name) {
  return parsed.at(QString::fromLatin1(name), parent.id);
}

}  // namespace

class MatroskaFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void muxerFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* file : kMuxerFiles) QTest::newRow(file) << QString::fromLatin1(file);
  }

  void muxerFiles() {
    QFETCH(QString, file);
    const QString path = dataPath(file);
    const Parsed parsed = isotest::parseFile(path);
    QCOMPARE(parsed.result, 0);
    QCOMPARE(parsed.format, QStringLiteral("matroska"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    QCOMPARE(parsed.report.garbage_bits, qint64(0));
    QVERIFY2(overlap(parsed).isEmpty(), qPrintable(overlap(parsed)));
    for (const Element& e : parsed.elements) {
      for (const char* problem : {"truncated", "misplaced", "points nowhere", "mismatch", "runs past", "ends early",
                                  "does not fit", "not part of WebM", "unknown element"})
        QVERIFY2(!e.hrf.contains(QLatin1String(problem)) && !e.raw.contains(QLatin1String(problem)),
                 qPrintable(elementLine(e)));
      QVERIFY2(e.name != QLatin1String("extra_data"), qPrintable(elementLine(e)));
    }
    const QString difference = compareItems(mkvinfoItems(path + QStringLiteral(".mkvinfo.txt")), parsedItems(parsed));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    comparePerStream(parsedFrames(parsed), readPacketWitness(path + QStringLiteral(".packets")), "frame");
  }

  // Values a user reads first; the witness of each is named beside it.
  void decodedValues_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("hrf");
    auto row = [](const char* file, const char* path, const char* raw, const char* hrf) {
      QTest::addRow("%s %s", file, path) << QString::fromLatin1(file) << QString::fromUtf8(path)
                                         << QString::fromUtf8(raw) << QString::fromUtf8(hrf);
    };
    // mkvinfo: "Document type: matroska", "Timestamp scale: 1000000", "Duration: 00:00:01.088000000"
    row("mkvmerge-h264-aac.mkv", "EBML/DocType", "matroska", "");
    row("mkvmerge-h264-aac.mkv", "Segment/Info/TimestampScale", "1000000", "1 ms per tick");
    row("mkvmerge-h264-aac.mkv", "Segment/Info/Duration", "1088", "0:00:01.088");
    // mkvinfo: "Codec's private data: size 39 (H.264 profile: Baseline @L1.1)"
    row("mkvmerge-h264-aac.mkv", "Segment/Tracks/TrackEntry/CodecPrivate/AVCProfileIndication", "66", "Baseline");
    // mkvinfo: "Seek ID: 0x15 0x49 0xa9 0x66 (KaxInfo)", "Seek position: 4099" and "Segment
    // information at 4151"
    row("mkvmerge-h264-aac.mkv", "Segment/SeekHead/Seek", "Info at 4151", "");
    row("mkvmerge-h264-aac.mkv", "Segment/SeekHead/Seek/SeekPosition", "4099", "file offset 4151, Info there");
    // mkvinfo: "Simple block: key, track number 2, 8 frame(s), timestamp 00:00:00.000000000"
    row("mkvmerge-h264-aac.mkv", "Segment/Cluster/SimpleBlock", "track 2, 0:00:00.000, keyframe, 8 frames (EBML lacing)", "");
    row("mkvmerge-h264-aac.mkv", "Segment/Cluster/SimpleBlock/lacing", "3", "EBML lacing");
    row("mkvmerge-h264-aac.mkv", "Segment/Cues/CuePoint", "0:00:00.064, track 1, cluster at 5565", "");
    // mkvinfo: "Simple block: key, track number 1, 8 frame(s)" of Xiph (Vorbis) and fixed (AC-3) lacing
    row("mkvmerge-vorbis.mka", "Segment/Cluster/SimpleBlock/lacing", "1", "Xiph lacing");
    row("mkvmerge-ac3.mka", "Segment/Cluster/SimpleBlock/lacing", "2", "fixed-size lacing");
    // mkvinfo: "Timestamp scale: 20832"
    row("mkvmerge-ac3.mka", "Segment/Info/TimestampScale", "20832", "20832 ns per tick");
    // ffprobe: hevc, profile Main; mkvinfo: "Codec ID: V_MPEGH/ISO/HEVC"
    row("mkvmerge-hevc.mkv", "Segment/Tracks/TrackEntry/CodecPrivate/general_profile_idc", "1", "Main");
    // mkvinfo: "Block duration", "Reference block: -100.000000ms"
    row("mkvmerge-blockgroups.mkv", "Segment/Cluster/BlockGroup/Block", "track 1, 0:00:00.000, IDR", "");
    // mkvinfo: "Title: Corvanta test", "Chapter string: Opening", "File name: cover.png", "File data:
    // size 189"
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Info/Title", "Corvanta test", "");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Chapters/EditionEntry", "2 chapters", "");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Chapters/EditionEntry/ChapterAtom",
        "0:00:00.000 - 0:00:00.500 \"Opening\"", "");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Chapters/EditionEntry/ChapterAtom/ChapterAtom",
        "0:00:00.200 \"Inside the opening\"", "");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Chapters/EditionEntry/ChapterAtom/ChapterTimeEnd",
        "500000000", "0:00:00.500");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Attachments/AttachedFile",
        "cover.png, image/png, 189 bytes", "");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Attachments/AttachedFile/FileMediaType", "image/png", "");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Tags/Tag/SimpleTag", "TITLE = Corvanta test", "");
    row("mkvmerge-chapters-tags-attachment.mkv", "Segment/Tags/Tag/SimpleTag/SimpleTag", "SUBTITLE = nested", "");
    // ffmpeg writes a CRC-32 first in every top element
    row("ffmpeg-h264-aac.mkv", "Segment/Cluster/CRC-32/value", "0x0B9B9842", "ok");
    // ffprobe: opus, 48000 Hz, 1 channel, initial padding 312; mkvinfo: "Codec delay: 6.500000ms"
    row("ffmpeg-vp9-opus.webm", "EBML/DocType", "webm", "");
    row("ffmpeg-vp9-opus.webm", "Segment/Tracks/TrackEntry#2/CodecDelay", "6500000", "0:00:00.006500");
    row("ffmpeg-vp9-opus.webm", "Segment/Tracks/TrackEntry#2/CodecPrivate", "Opus v1, 1 ch, input 48000 Hz", "");
    row("ffmpeg-vp9-opus.webm", "Segment/Tracks/TrackEntry#2/CodecPrivate/PreSkip", "312", "samples at 48 kHz");
    row("ffmpeg-vp9-opus.webm", "Segment/Cluster/BlockGroup/DiscardPadding", "13500000", "0:00:00.013500");
    // ffprobe: av1, profile Main
    row("ffmpeg-av1.mkv", "Segment/Tracks/TrackEntry/CodecPrivate/seq_profile", "0", "Main");
    // ffprobe: yuva420p; mkvinfo: "Block additional"
    row("ffmpeg-vp8-alpha.webm", "Segment/Tracks/TrackEntry/Video/AlphaMode", "1", "present");
    row("ffmpeg-vp8-alpha.webm", "Segment/Cluster/BlockGroup/BlockAdditions/BlockMore/BlockAddID", "1", "");
    // ffprobe: msmpeg4v2 (MP42), wmav2 16000 Hz mono
    row("ffmpeg-vfw-acm.mkv", "Segment/Tracks/TrackEntry/CodecPrivate/biCompression", "MP42", "");
    row("ffmpeg-vfw-acm.mkv", "Segment/Tracks/TrackEntry/CodecPrivate/biWidth", "64", "pixels");
    // mkvinfo: "Segment: size unknown"
    row("ffmpeg-live.webm", "Segment/size", "72057594037927935", "unknown");
    // ffprobe: vorbis 16000 Hz mono
    row("gstreamer-vp8-vorbis.webm", "Segment/Tracks/TrackEntry#2/CodecPrivate/identification_header/audio_sample_rate",
        "16000", "Hz");
    row("gstreamer-vp8-vorbis.webm", "Segment/Tracks/TrackEntry#2/CodecPrivate/identification_header/audio_channels",
        "1", "");
    // ffprobe: theora yuv444p 64x48; flac 16000 Hz
    row("gstreamer-live.mkv", "Segment/Tracks/TrackEntry/CodecPrivate/identification_header/PF", "3", "4:4:4");
    row("gstreamer-live.mkv", "Segment/Tracks/TrackEntry/CodecPrivate/identification_header/PICW", "64", "");
    row("gstreamer-live.mkv", "Segment/Tracks/TrackEntry#2/CodecPrivate/STREAMINFO/sample_rate", "16000", "Hz");
    row("gstreamer-live.mkv", "Segment/Cluster/size", "72057594037927935", "unknown");
  }

  void decodedValues() {
    QFETCH(QString, file);
    QFETCH(QString, path);
    QFETCH(QString, raw);
    QFETCH(QString, hrf);
    const Parsed parsed = isotest::parseFile(dataPath(file));
    QCOMPARE(parsed.result, 0);
    const Element* e = atPath(parsed, path);
    QVERIFY2(e, qPrintable(path));
    QCOMPARE(e->raw, raw);
    QCOMPARE(e->hrf, hrf);
  }

  // Elements of unknown size: the Segment runs to the end of the file, each Cluster to where the
  // next element that cannot be its child begins.
  void unknownSizes() {
    const QString path = dataPath(QStringLiteral("gstreamer-live.mkv"));
    const Parsed parsed = isotest::parseFile(path);
    const Element* segment = parsed.at(QStringLiteral("Segment"));
    QVERIFY(segment);
    QVERIFY(segment->hrf.contains(QLatin1String("unknown size")));
    QCOMPARE(segment->byteOffset() + segment->byteSize(), QFileInfo(path).size());
    const auto clusters = named(parsed, "Cluster");
    QVERIFY(!clusters.empty());
    for (size_t i = 0; i + 1 < clusters.size(); ++i)
      QCOMPARE(clusters[i]->byteOffset() + clusters[i]->byteSize(), clusters[i + 1]->byteOffset());
  }

  // Copies cut short: every element still there is where the intact file has it, cut at the end
  // of the file and marked truncated where it is cut.
  void truncatedFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("intact");
    QTest::newRow("in a cluster") << "truncated-in-cluster.mkv" << "ffmpeg-h264-aac.mkv";
    QTest::newRow("in the tracks") << "truncated-in-tracks.mkv" << "ffmpeg-h264-aac.mkv";
  }

  void truncatedFiles() {
    QFETCH(QString, file);
    QFETCH(QString, intact);
    const QString path = dataPath(file);
    const qint64 end = QFileInfo(path).size();
    const Parsed parsed = isotest::parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, end * 8);
    QCOMPARE(parsed.garbageCount(), qint64(0));
    QVERIFY2(overlap(parsed).isEmpty(), qPrintable(overlap(parsed)));
    std::vector<Item> expected;
    for (Item item : mkvinfoItems(dataPath(intact) + QStringLiteral(".mkvinfo.txt"))) {
      if (*item.offset >= end) continue;
      item.size = std::min(*item.size, end - *item.offset);
      expected.push_back(item);
    }
    const std::vector<Item> actual = parsedItems(parsed);
    const QString difference = compareItems(expected, actual);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    for (size_t i = 0; i < parsed.elements.size(); ++i) {
      const Element& e = parsed.elements[i];
      if (!isEbmlElement(parsed, i) || e.name == QLatin1String("CRC-32")) continue;
      const bool cut = e.byteOffset() + e.byteSize() == end;
      const Element* size = childNamed(parsed, e, "size");
      QVERIFY(size);
      const bool declared_past = size->raw.toLongLong() + (size->byteOffset() + size->byteSize()) > end;
      QCOMPARE(e.hrf.contains(QLatin1String("truncated")), cut && declared_past);
    }
    // The CRC-32 of a cut element cannot be checked.
    for (const Element* crc : named(parsed, "CRC-32"))
      QVERIFY2(!crc->hrf.contains(QLatin1String("mismatch")), qPrintable(elementLine(*crc)));
  }

  // Junk between two clusters: one GARBAGE element, then the walk finds the next Cluster; every
  // element after it is where the intact file has it, 40 bytes on. The seek and cue entries that
  // point behind the junk now point 40 bytes short, at no element of theirs. The Segment's size
  // does not count the junk, so the Segment ends 40 bytes into its Tags: the Tags are cut there
  // and their last 40 bytes are a second GARBAGE at the top.
  void junkBetweenClusters() {
    const QString path = dataPath(QStringLiteral("corrupt-junk.mkv"));
    const Parsed parsed = isotest::parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    QVERIFY2(overlap(parsed).isEmpty(), qPrintable(overlap(parsed)));
    const auto garbage = parsed.named(QString::fromLatin1(corvanta::kGarbageName.data()));
    QCOMPARE(garbage.size(), size_t(2));
    const Element* junk = garbage.front();
    QCOMPARE(junk->byteOffset(), qint64(12799));
    QCOMPARE(junk->byteSize(), qint64(40));
    QCOMPARE(parsed.elements[size_t(junk->parent - 1)].name, QStringLiteral("Segment"));
    QCOMPARE(garbage.back()->level, qint64(0));
    QCOMPARE(garbage.back()->byteOffset() + garbage.back()->byteSize(), QFileInfo(path).size());
    QVERIFY(parsed.at(QStringLiteral("Segment/Tags"))->hrf.contains(QLatin1String("truncated")));
    const std::vector<Item> witness = mkvinfoItems(dataPath(QStringLiteral("mkvmerge-h264-aac.mkv.mkvinfo.txt")));
    const std::vector<Item> actual = parsedItems(parsed);
    // The intact file's items, moved by the junk; its Segment and Tags now run 40 bytes short of
    // their data, so the comparison stops before the Tags.
    size_t compared = 0;
    for (const Item& item : witness) {
      if (item.depth == 0 || (item.offset && *item.offset >= 18535)) continue;
      Item moved = item;
      if (*moved.offset >= junk->byteOffset()) moved.offset = *moved.offset + 40;
      const auto found = std::find_if(actual.begin(), actual.end(), [&](const Item& a) {
        return a.offset == moved.offset && a.depth == moved.depth && a.frame == moved.frame;
      });
      QVERIFY2(found != actual.end() && found->size == moved.size, qPrintable(moved.text()));
      ++compared;
    }
    QVERIFY(compared > 100);
    int nowhere = 0;
    for (const Element* seek : named(parsed, "Seek")) nowhere += seek->raw.contains(QLatin1String("points nowhere"));
    QCOMPARE(nowhere, 2);  // Cues and Tags stand behind the junk
  }

  // A Tracks size that runs over the Void into the first Cluster: Tracks ends where the Cluster
  // begins, and every Cluster and frame is still found.
  void sizeRunningIntoCluster() {
    const Parsed parsed = isotest::parseFile(dataPath(QStringLiteral("corrupt-tracks-size.mkv")));
    const Parsed intact = isotest::parseFile(dataPath(QStringLiteral("mkvmerge-h264-aac.mkv")));
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(0));
    QVERIFY2(overlap(parsed).isEmpty(), qPrintable(overlap(parsed)));
    const Element* tracks = parsed.at(QStringLiteral("Segment/Tracks"));
    const Element* cluster = parsed.at(QStringLiteral("Segment/Cluster"));
    QVERIFY(tracks && cluster);
    QVERIFY2(tracks->hrf.contains(QLatin1String("ends early, where a Cluster begins")), qPrintable(elementLine(*tracks)));
    QCOMPARE(tracks->byteOffset() + tracks->byteSize(), cluster->byteOffset());
    QCOMPARE(parsedFrames(parsed), parsedFrames(intact));
    QCOMPARE(named(parsed, "Cluster").size(), named(intact, "Cluster").size());
  }

  // One byte changed inside the first Cluster: its CRC-32 no longer matches, the others do.
  void crcMismatch() {
    const Parsed parsed = isotest::parseFile(dataPath(QStringLiteral("corrupt-crc.mkv")));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const auto crcs = named(parsed, "CRC-32");
    QVERIFY(crcs.size() >= 5);
    int mismatches = 0;
    for (const Element* crc : crcs) {
      const Element& parent = parsed.elements[size_t(crc->parent - 1)];
      const bool first_cluster = parent.id == parsed.at(QStringLiteral("Segment/Cluster"))->id;
      QCOMPARE(crc->hrf.startsWith(QLatin1String("mismatch")), first_cluster);
      QCOMPARE(crc->hrf == QLatin1String("ok"), !first_cluster);
      QCOMPARE(parent.hrf.contains(QLatin1String("CRC-32 mismatch")), first_cluster);
      mismatches += first_cluster;
    }
    QCOMPARE(mismatches, 1);
  }

  // A seek entry and a cue moved to where their element does not start: marked as pointing
  // nowhere, the others still found.
  void seekAndCueNowhere() {
    const Parsed parsed = isotest::parseFile(dataPath(QStringLiteral("corrupt-seek.mkv")));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QStringList seeks;
    for (const Element* seek : named(parsed, "Seek")) seeks << seek->raw;
    QCOMPARE(seeks, (QStringList{"Info at 4151", "Tracks at 4241, points nowhere", "Cues at 18494", "Tags at 18535"}));
    const auto positions = named(parsed, "CueClusterPosition");
    QCOMPARE(positions.size(), size_t(2));
    QVERIFY(positions[0]->hrf.contains(QLatin1String("points nowhere, no Cluster there")));
    QCOMPARE(positions[1]->hrf, QStringLiteral("file offset 12799, Cluster there"));
  }
};

CORVANTA_TEST_CORE_MAIN(MatroskaFilesTest)
#include "MatroskaFilesTest.moc"
