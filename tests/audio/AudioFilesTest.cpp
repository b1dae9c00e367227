// The audio elementary-stream files of tests/data (see each folder's make-test-files.sh): the
// check passes, valid files are covered without GARBAGE, frames are where ffprobe finds its
// packets, tag sizes agree with the tagging tools' own listings, broken copies keep their good
// frames, and the registry still gives every other test file to its own module.
#include "FormatModule.h"
#include "PacketWitness.h"
#include "ParsedFile.h"
#include "TestInputs.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QRegularExpression>

using namespace corvanta::test;

namespace {

const QString kFrame = QStringLiteral("frame");

bool isInfoFrame(const Parsed& parsed, const Element& frame) {
  return parsed.at(QStringLiteral("Xing header"), frame.id) || parsed.at(QStringLiteral("VBRI header"), frame.id);
}

// The frames that carry audio, as ffprobe lists its packets (stream 0).
PerStream audioFrames(const Parsed& parsed) {
  PerStream out;
  for (const Element& e : parsed.elements)
    if (e.level == 0 && e.name == kFrame && !isInfoFrame(parsed, e)) out[0].push_back({e.byteOffset(), e.byteSize()});
  return out;
}

std::vector<Stretch> frameStretches(const Parsed& parsed) {
  std::vector<Stretch> out;
  for (const Element& e : parsed.elements)
    if (e.level == 0 && e.name == kFrame) out.push_back({e.byteOffset(), e.byteSize()});
  return out;
}

const Element* topLevel(const Parsed& parsed, const QString& name) {
  for (const Element& e : parsed.elements)
    if (e.level == 0 && e.name == name) return &e;
  return nullptr;
}

// eyeD3's "TPE1 (19 bytes)" and "CHAP x 2 (104 bytes)" lines: bytes of every frame of an id,
// headers included; "1551 bytes unused (padding)" under the id "padding".
QMap<QString, qint64> eyeD3FrameBytes(const QString& path) {
  QMap<QString, qint64> out;
  static const QRegularExpression frame(QStringLiteral("^([A-Z0-9]{4})(?: x \\d+)? \\((\\d+) bytes\\)$"));
  static const QRegularExpression padding(QStringLiteral("^(\\d+) bytes unused \\(padding\\)$"));
  for (const QByteArray& line : readAll(path).split('\n')) {
    const QString text = QString::fromUtf8(line);
    if (auto m = frame.match(text); m.hasMatch()) out[m.captured(1)] += m.captured(2).toLongLong();
    if (auto m = padding.match(text); m.hasMatch() && m.captured(1) != "0")
      out[QStringLiteral("padding")] = m.captured(1).toLongLong();
  }
  return out;
}

QMap<QString, qint64> parsedFrameBytes(const Parsed& parsed, const Element& tag) {
  QMap<QString, qint64> out;
  for (const Element* child : parsed.children(tag.id))
    if (child->name != "header" && child->name != "footer" && child->name != "extended_header")
      out[child->name] += child->byteSize();
  return out;
}

}  // namespace

class AudioFilesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void validFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("module");
    for (const char* name : {"ffmpeg-cbr.mp3", "ffmpeg-layer2.mp2", "mpeg25.mp3", "lame-vbr.mp3", "lame-crc.mp3",
                             "id3v23.mp3", "id3v24-picture.mp3", "id3v24-chapters.mp3", "ape.mp3", "lyrics3.mp3"})
      QTest::newRow(name) << QStringLiteral("mpegaudio/") + name << "mpegaudio";
    for (const char* name : {"mono-lc.aac", "stereo-lc.aac", "id3-tagged.aac"})
      QTest::newRow(name) << QStringLiteral("adts/") + name << "adts";
    for (const char* name : {"stereo.ac3", "surround-44k.ac3", "stereo.eac3"})
      QTest::newRow(name) << QStringLiteral("ac3/") + name << "ac3";
    for (const char* name : {"stereo.dts", "surround.dts", "substreams.dts"})
      QTest::newRow(name) << QStringLiteral("dts/") + name << "dts";
    for (const char* name : {"narrowband.amr", "wideband.awb", "two-channels.amr"})
      QTest::newRow(name) << QStringLiteral("amr/") + name << "amr";
    for (const char* name : {"plain.ac4", "crc.ac4"})
      QTest::newRow(name) << QStringLiteral("ac4/") + name << "ac4";
  }
  void validFiles() {
    QFETCH(QString, file);
    QFETCH(QString, module);
    const QString path = dataFile(file);
    const Parsed parsed = parseFile(path);
    const QString problem = cleanParseProblem(parsed, path, module);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    for (const Element& e : parsed.elements) {
      QVERIFY2(!e.hrf.contains("truncated"), qPrintable(e.name));
      // ffmpeg's info tag CRC follows another rule than lame's (which checksumsAgree checks).
      if (e.name != "info_tag_crc") QVERIFY2(!e.hrf.contains("mismatch"), qPrintable(e.name + " " + e.hrf));
    }
    if (QFile::exists(path + ".packets")) comparePerStream(audioFrames(parsed), readPacketWitness(path + ".packets"), "frame");
  }

  // Every check the encoder wrote is checked, and agrees: lame's CRC on every Layer III frame
  // and its info tag's CRC.
  void checksumsAgree_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("count");
    QTest::newRow("lame frame CRCs") << "mpegaudio/lame-crc.mp3" << "crc_check" << 22;
    QTest::newRow("LAME info tag CRC") << "mpegaudio/lame-vbr.mp3" << "info_tag_crc" << 1;
    QTest::newRow("AC-3 crc1") << "ac3/surround-44k.ac3" << "crc1" << 8;
    QTest::newRow("AC-3 crc2") << "ac3/surround-44k.ac3" << "crc2" << 8;
    QTest::newRow("E-AC-3 crc2") << "ac3/stereo.eac3" << "crc2" << 8;
  }
  void checksumsAgree() {
    QFETCH(QString, file);
    QFETCH(QString, field);
    QFETCH(int, count);
    const Parsed parsed = parseFile(dataFile(file));
    const auto checks = parsed.named(field);
    QCOMPARE(int(checks.size()), count);
    for (const Element* e : checks) QCOMPARE(e->hrf, QStringLiteral("ok"));
  }

  // The ID3v2 frames and padding have the sizes that eyeD3 reports.
  void id3v2SizesAgreeWithEyeD3_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"lame-vbr.mp3", "id3v23.mp3", "id3v24-picture.mp3", "id3v24-chapters.mp3"})
      QTest::newRow(name) << QStringLiteral("mpegaudio/") + name;
  }
  void id3v2SizesAgreeWithEyeD3() {
    QFETCH(QString, file);
    const Parsed parsed = parseFile(dataFile(file));
    const Element* tag = topLevel(parsed, QStringLiteral("ID3v2"));
    QVERIFY(tag);
    const QMap<QString, qint64> expected = eyeD3FrameBytes(dataFile(file + ".tags.txt"));
    QVERIFY(expected.size() >= 2);
    QCOMPARE(parsedFrameBytes(parsed, *tag), expected);
  }

  // Values as the tagging tools list them (mid3v2 --list-raw, id3v2 -l, mutagen's APEv2 reader).
  void tagValuesAgreeWithTheTools_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("value");
    QTest::newRow("v2.4 TDRC") << "id3v24-chapters.mp3" << "ID3v2/TDRC/text" << "2024-05-06T07:08";
    QTest::newRow("CHAP start") << "id3v24-chapters.mp3" << "ID3v2/CHAP/start_time" << "0";
    QTest::newRow("CHAP end") << "id3v24-chapters.mp3" << "ID3v2/CHAP/end_time" << "500";
    QTest::newRow("CHAP offset") << "id3v24-chapters.mp3" << "ID3v2/CHAP/start_offset" << "4294967295";
    QTest::newRow("CHAP sub-frame") << "id3v24-chapters.mp3" << "ID3v2/CHAP/TIT2/text" << "First";
    QTest::newRow("CTOC flags") << "id3v24-chapters.mp3" << "ID3v2/CTOC/ordered" << "1";
    QTest::newRow("CTOC entries") << "id3v24-chapters.mp3" << "ID3v2/CTOC/entry_count" << "2";
    QTest::newRow("CTOC sub-frame") << "id3v24-chapters.mp3" << "ID3v2/CTOC/TIT2/text" << "Contents";
    QTest::newRow("PRIV owner") << "id3v24-chapters.mp3" << "ID3v2/PRIV/owner_identifier" << "corvanta.test";
    QTest::newRow("UFID owner") << "id3v24-chapters.mp3" << "ID3v2/UFID/owner_identifier" << "http://example.org";
    QTest::newRow("GEOB file name") << "id3v24-chapters.mp3" << "ID3v2/GEOB/filename" << "a.txt";
    QTest::newRow("APIC MIME type") << "id3v24-picture.mp3" << "ID3v2/APIC/mime_type" << "image/png";
    QTest::newRow("APIC type") << "id3v24-picture.mp3" << "ID3v2/APIC/picture_type" << "3";
    QTest::newRow("APIC data") << "id3v24-picture.mp3" << "ID3v2/APIC/picture_data" << "89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52 …";
    QTest::newRow("USLT text") << "id3v24-picture.mp3" << "ID3v2/USLT/text" << "la la la\n";
    QTest::newRow("TXXX description") << "id3v24-picture.mp3" << "ID3v2/TXXX/description" << "KEY";
    QTest::newRow("TXXX value") << "id3v24-picture.mp3" << "ID3v2/TXXX/value" << "value";
    QTest::newRow("v2.3 TRCK") << "id3v23.mp3" << "ID3v2/TRCK/text" << "1/2";
    QTest::newRow("v2.3 COMM") << "id3v23.mp3" << "ID3v2/COMM/text" << "a comment";
    QTest::newRow("v1.1 track") << "id3v23.mp3" << "ID3v1/track" << "1";
    QTest::newRow("v1 genre") << "id3v23.mp3" << "ID3v1/genre" << "8";
    QTest::newRow("APE item count") << "ape.mp3" << "APE/footer/item_count" << "3";
    QTest::newRow("APE item key") << "ape.mp3" << "APE/item/key" << "Title";
    QTest::newRow("APE item value") << "ape.mp3" << "APE/item/value" << "Ape";
    // lyrics3.mp3 is written by make-test-files.sh from the format's description.
    QTest::newRow("Lyrics3v2 lyrics") << "lyrics3.mp3" << "Lyrics3v2/LYR/value" << "[00:01]la l";
    QTest::newRow("Lyrics3v2 title") << "lyrics3.mp3" << "Lyrics3v2/ETT/value" << "Tone";
    QTest::newRow("Lyrics3v2 size") << "lyrics3.mp3" << "Lyrics3v2/size" << "000052";
  }
  void tagValuesAgreeWithTheTools() {
    QFETCH(QString, file);
    QFETCH(QString, path);
    QFETCH(QString, value);
    const Parsed parsed = parseFile(dataFile("mpegaudio/" + file));
    const Element* e = parsed.at(path);
    QVERIFY2(e, qPrintable(path));
    QCOMPARE(e->raw, value);
  }

  // One changed byte in the first five eighths of an AC-3 frame: that frame's crc1 fails, and
  // only it; the frames stay where they are.
  void aChangedByteFailsItsFramesCheck() {
    const Parsed parsed = parseFile(dataFile("ac3/corrupt-crc.ac3"));
    QCOMPARE(parsed.garbageCount(), 0);
    QCOMPARE(frameStretches(parsed), frameStretches(parseFile(dataFile("ac3/stereo.ac3"))));
    std::vector<const Element*> failed;
    for (const Element& e : parsed.elements)
      if (e.hrf == "mismatch") failed.push_back(&e);
    QCOMPARE(int(failed.size()), 1);
    QCOMPARE(failed.front()->name, QStringLiteral("crc1"));
    QCOMPARE(failed.front()->byteOffset(), 4 * 384 + 2);
  }

  // Broken copies: what cannot be framed is one GARBAGE stretch and the frames around it are
  // frames of the good file; a frame cut by the end of the file is kept and says so.
  void brokenCopiesKeepTheGoodFrames_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("good");
    QTest::addColumn<qint64>("shift");  // bytes added before the good file's content
    QTest::addColumn<int>("garbage");
    QTest::addColumn<bool>("cut_short");
    QTest::newRow("junk before") << "mpegaudio/junk-before.mp3" << "mpegaudio/lame-crc.mp3" << qint64(700) << 1 << false;
    QTest::newRow("truncated") << "mpegaudio/truncated.mp3" << "mpegaudio/lame-vbr.mp3" << qint64(0) << 0 << true;
    QTest::newRow("junk inside") << "mpegaudio/corrupt.mp3" << "mpegaudio/ffmpeg-cbr.mp3" << qint64(0) << 1 << false;
    QTest::newRow("ADTS truncated") << "adts/truncated.aac" << "adts/mono-lc.aac" << qint64(0) << 0 << true;
    QTest::newRow("AC-3 truncated") << "ac3/truncated.ac3" << "ac3/stereo.ac3" << qint64(0) << 0 << true;
    QTest::newRow("DTS truncated") << "dts/truncated.dts" << "dts/stereo.dts" << qint64(0) << 0 << true;
    QTest::newRow("AMR truncated") << "amr/truncated.amr" << "amr/narrowband.amr" << qint64(0) << 0 << true;
    QTest::newRow("AMR bad header byte") << "amr/corrupt.amr" << "amr/narrowband.amr" << qint64(0) << 1 << false;
    QTest::newRow("ADTS junk inside") << "adts/corrupt.aac" << "adts/mono-lc.aac" << qint64(0) << 1 << false;
  }
  void brokenCopiesKeepTheGoodFrames() {
    QFETCH(QString, file);
    QFETCH(QString, good);
    QFETCH(qint64, shift);
    QFETCH(int, garbage);
    QFETCH(bool, cut_short);
    const Parsed parsed = parseFile(dataFile(file));
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(garbage));
    const std::vector<Stretch> good_frames = frameStretches(parseFile(dataFile(good)));
    std::vector<Stretch> frames = frameStretches(parsed);
    if (cut_short) {
      const Element* last = nullptr;
      for (const Element& e : parsed.elements)
        if (e.level == 0 && e.name == kFrame) last = &e;
      QVERIFY(last && last->hrf.contains("truncated"));
      frames.pop_back();
    }
    for (const Stretch& frame : frames)
      QVERIFY2(std::find(good_frames.begin(), good_frames.end(), Stretch{frame.first - shift, frame.second}) !=
                   good_frames.end(),
               qPrintable(QString::number(frame.first)));
    QVERIFY(frames.size() + 4 >= good_frames.size() || cut_short);
  }

  // The probes of the audio modules see only a weak sync word: every other module's test files
  // still go to that module.
  void otherModulesKeepTheirFiles() {
    const QStringList audio = {"mpegaudio", "adts", "ac3", "ac4", "amr", "dts"};
    QDirIterator it(dataDir(), QDir::Files, QDirIterator::Subdirectories);
    int checked = 0;
    while (it.hasNext()) {
      const QString path = it.next();
      const QString folder = QFileInfo(path).dir().dirName();
      if (!isTestInput(path) || audio.contains(folder) || !corvanta::findModule(folder)) continue;
      if (readAll(path + ".golden").startsWith("corvanta-dump exit status")) continue;
      QFile file(path);
      QVERIFY(file.open(QIODevice::ReadOnly));
      const QByteArray head = file.read(4096);
      const corvanta::FormatModule* chosen = corvanta::chooseModule(
          reinterpret_cast<const uint8_t*>(head.constData()), head.size(), file.size(), path);
      QVERIFY2(chosen && chosen->id == folder, qPrintable(path));
      ++checked;
    }
    QVERIFY(checked > 20);
  }
};

CORVANTA_TEST_CORE_MAIN(AudioFilesTest)
#include "AudioFilesTest.moc"
