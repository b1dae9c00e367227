// Hand-built RIFF and IFF files, their bytes spelt out beside each case: the walk's tolerance of
// odd layouts (a missing pad byte, junk between chunks, a child past its list, deep nesting),
// 64-bit sizes from ds64, the WAVE chunks no Debian tool writes (cue, smpl, inst, labl), the
// 80-bit sample rate of AIFF, the bit fields of VP8L, and idx1 offsets from the file's start.
#include "ParsedFile.h"
#include "TestSupport.h"

using namespace corvanta::test;

namespace {

QByteArray le(quint64 value, int bytes) {
  QByteArray out(bytes, '\0');
  for (int i = 0; i < bytes; ++i, value >>= 8) out[i] = char(value & 0xff);
  return out;
}

// A RIFF chunk: id, little-endian size, payload, pad byte when odd (unless left out).
QByteArray chunk(const char* id, const QByteArray& payload, bool pad = true) {
  return QByteArray(id, 4) + le(quint64(payload.size()), 4) + payload + (pad && payload.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}
QByteArray list(const char* id, const char* type, const QByteArray& chunks) { return chunk(id, QByteArray(type, 4) + chunks); }
QByteArray riff(const char* form, const QByteArray& chunks) { return list("RIFF", form, chunks); }

// An IFF chunk: big-endian size.
QByteArray iff(const char* id, const QByteArray& payload) {
  return QByteArray(id, 4) + u32(quint64(payload.size())) + payload + (payload.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}

// fmt: PCM, 1 channel, 8000 Hz, 16000 bytes/s, block 2, 16 bits.
QByteArray pcmFormat() { return chunk("fmt ", le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2)); }

Parsed parse(const QByteArray& bytes, const char* name) { return parseBytesAs(bytes, QString::fromLatin1(name)); }

// "raw [hrf]" of the first element reached by `path`.
QString at(const Parsed& parsed, const QString& path) {
  const Element* e = parsed.at(path);
  return e ? e->raw + " [" + e->hrf + "]" : QStringLiteral("(missing)");
}

void verifyChecked(const Parsed& parsed, qint64 garbage) {
  QCOMPARE(parsed.result, 0);
  QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
  QCOMPARE(parsed.garbageCount(), garbage);
}

}  // namespace

class RiffFixturesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // A writer that forgot the pad byte of an odd chunk: the next chunk still starts where it is.
  void oddChunkWithoutPadByte() {
    const QByteArray bytes = riff("WAVE", pcmFormat() + chunk("LIST", QByteArray("INFO") + chunk("INAM", "abc", false) +
                                                                          chunk("ISFT", "x1")) +
                                              chunk("data", le(0, 4)));
    const Parsed parsed = parse(bytes, "nopad.wav");
    verifyChecked(parsed, 0);
    QCOMPARE(at(parsed, "RIFF/LIST/INAM/text"), QStringLiteral("abc [title]"));
    QVERIFY(!parsed.at("RIFF/LIST/INAM/pad"));
    QCOMPARE(at(parsed, "RIFF/LIST/ISFT/text"), QStringLiteral("x1 [software]"));
  }

  // Junk between two chunks is one GARBAGE element, and the walk resumes at the next chunk.
  void junkBetweenChunks() {
    const QByteArray junk("\x01\x02\x03\x04\x05\x06\x07", 7);
    const Parsed parsed = parse(riff("WAVE", pcmFormat() + junk + chunk("data", le(0, 4))), "junk.wav");
    verifyChecked(parsed, 1);
    const Element* garbage = parsed.named(QString::fromLatin1(corvanta::kGarbageName.data())).front();
    QCOMPARE(garbage->byteOffset(), qint64(12 + 24));
    QCOMPARE(garbage->byteSize(), qint64(7));
    QCOMPARE(at(parsed, "RIFF/data"), QStringLiteral("2 sample frames, 0.000250 s [sample data]"));
  }

  // A chunk that claims more than its list holds is clamped to the list and marked; the list's
  // next sibling is read where the list says it starts.
  void childPastItsListIsClamped() {
    const QByteArray inner = QByteArray("INFO") + QByteArray("INAM", 4) + le(100, 4) + "abcd";
    const Parsed parsed = parse(riff("WAVE", chunk("LIST", inner) + pcmFormat()), "clamp.wav");
    verifyChecked(parsed, 0);
    const Element* name = parsed.at("RIFF/LIST/INAM");
    QVERIFY(name && name->hrf.contains("truncated"));
    QCOMPARE(name->byteSize(), qint64(12));
    QCOMPARE(at(parsed, "RIFF/fmt /nSamplesPerSec"), QStringLiteral("8000 [Hz]"));
  }

  // Lists nested far deeper than any real file end in one opaque field.
  void nestingIsBounded() {
    QByteArray nested = chunk("ISFT", "x1");
    for (int i = 0; i < 200; ++i) nested = list("LIST", "abcd", nested);
    const Parsed parsed = parse(riff("WAVE", nested), "deep.wav");
    verifyChecked(parsed, 0);
    QCOMPARE(parsed.named("data").size(), size_t(1));
    QVERIFY(parsed.named("LIST").size() < 20);
  }

  // RF64: the RF64 and data sizes of 0xFFFFFFFF come from ds64, and so does the size of any
  // other chunk listed in its table.
  void rf64SizesComeFromDs64() {
    const QByteArray samples(6, '\x11');
    const QByteArray other(10, '\x22');
    const QByteArray ds64 = chunk("ds64", le(4 + 48 + 24 + 8 + 6 + 8 + 10 + 12, 8) + le(6, 8) + le(3, 8) + le(1, 4) +
                                              "abcd" + le(10, 8));
    const QByteArray body = QByteArray("WAVE") + ds64 + pcmFormat() + QByteArray("data") + le(0xFFFFFFFF, 4) + samples +
                            QByteArray("abcd") + le(0xFFFFFFFF, 4) + other;
    const QByteArray bytes = QByteArray("RF64") + le(0xFFFFFFFF, 4) + body;
    const Parsed parsed = parse(bytes, "sizes.rf64");
    verifyChecked(parsed, 0);
    QCOMPARE(parsed.format, QStringLiteral("riff.wave"));
    QCOMPARE(parsed.report.covered_bits, qint64(bytes.size()) * 8);
    QCOMPARE(at(parsed, "RF64/data"), QStringLiteral("3 sample frames, 0.000375 s [sample data]"));
    QCOMPARE(at(parsed, "RF64/data/ckSize"), QStringLiteral("4294967295 [size from ds64: 6]"));
    QCOMPARE(parsed.at("RF64/abcd")->byteSize(), qint64(18));
    QCOMPARE(at(parsed, "RF64/ds64/ChunkSize64"), QStringLiteral("abcd 10 bytes []"));
  }

  // cue points, a sampler loop, an instrument and a cue label, as a sound editor writes them.
  void waveChunksOfSoundEditors_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cue count") << "cue " << "2 cue points [cue points]";
    QTest::newRow("cue point") << "cue /CuePoint" << "cue 1 at sample 400 []";
    QTest::newRow("cue chunk") << "cue /CuePoint/fccChunk" << "data []";
    QTest::newRow("sampler") << "smpl" << "unity note 60, 1 loops [sampler]";
    QTest::newRow("loop") << "smpl/SampleLoop" << "alternating 100–900 []";
    QTest::newRow("play count") << "smpl/SampleLoop/dwPlayCount" << "0 [endless]";
    QTest::newRow("instrument") << "inst" << "note 60, gain -3 dB [instrument]";
    QTest::newRow("fine tune") << "inst/chFineTune" << "-12 [cents]";
    QTest::newRow("label") << "LIST/labl" << "cue 1: Verse [cue label]";
  }
  void waveChunksOfSoundEditors() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    // cue: 2 points of 24 bytes: dwName, dwPosition, fccChunk, dwChunkStart, dwBlockStart, dwSampleOffset.
    const QByteArray cue = chunk("cue ", le(2, 4) + le(1, 4) + le(400, 4) + "data" + le(0, 4) + le(0, 4) + le(400, 4) +
                                             le(2, 4) + le(800, 4) + "data" + le(0, 4) + le(0, 4) + le(800, 4));
    // smpl: manufacturer 0, product 0, period 125000 ns, unity note 60, pitch fraction 0, SMPTE 0,
    // offset 0, 1 loop, no sampler data; the loop: id 7, type 1 (alternating), 100..900, fraction 0,
    // play count 0 (endless).
    const QByteArray smpl = chunk("smpl", le(0, 4) + le(0, 4) + le(125000, 4) + le(60, 4) + le(0, 4) + le(0, 4) + le(0, 4) +
                                              le(1, 4) + le(0, 4) + le(7, 4) + le(1, 4) + le(100, 4) + le(900, 4) +
                                              le(0, 4) + le(0, 4));
    // inst: unshifted note 60, fine tune -12 (0xF4), gain -3 (0xFD), notes 0..127, velocities 1..127.
    const QByteArray inst = chunk("inst", QByteArray("\x3C\xF4\xFD\x00\x7F\x01\x7F", 7));
    const QByteArray adtl = list("LIST", "adtl", chunk("labl", le(1, 4) + QByteArray("Verse\0", 6)));
    const Parsed parsed = parse(riff("WAVE", pcmFormat() + cue + smpl + inst + adtl + chunk("data", le(0, 4))), "cues.wav");
    verifyChecked(parsed, 0);
    QCOMPARE(at(parsed, "RIFF/" + path), expected);
  }

  // WAVEFORMATEXTENSIBLE: valid bits, speaker positions and the sub-format that decides the data.
  void extensibleFormat() {
    // 2 channels, 48000 Hz, 288000 bytes/s, block 6, 24 bits; cbSize 22; 24 valid bits;
    // channel mask 3 (FL FR); KSDATAFORMAT_SUBTYPE_PCM.
    const QByteArray guid("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    const QByteArray fmt = chunk("fmt ", le(0xFFFE, 2) + le(2, 2) + le(48000, 4) + le(288000, 4) + le(6, 2) + le(24, 2) +
                                             le(22, 2) + le(24, 2) + le(3, 4) + guid);
    const Parsed parsed = parse(riff("WAVE", fmt + chunk("data", QByteArray(12, '\0'))), "ext.wav");
    verifyChecked(parsed, 0);
    QCOMPARE(at(parsed, "RIFF/fmt /dwChannelMask"), QStringLiteral("3 [FL FR]"));
    QCOMPARE(at(parsed, "RIFF/fmt /SubFormat"), QStringLiteral("00000001-0000-0010-8000-00AA00389B71 [PCM]"));
    QCOMPARE(at(parsed, "RIFF/data"), QStringLiteral("2 sample frames, 0.000042 s [sample data]"));
  }

  // The 80-bit extended sample rate of COMM: exponent 16383 + n, the integer bit set.
  void aiffSampleRates_data() {
    QTest::addColumn<QByteArray>("extended");
    QTest::addColumn<QString>("rate");
    QTest::newRow("44100") << QByteArray("\x40\x0E\xAC\x44\x00\x00\x00\x00\x00\x00", 10) << "44100";
    QTest::newRow("22050") << QByteArray("\x40\x0D\xAC\x44\x00\x00\x00\x00\x00\x00", 10) << "22050";
    QTest::newRow("48000") << QByteArray("\x40\x0E\xBB\x80\x00\x00\x00\x00\x00\x00", 10) << "48000";
    QTest::newRow("11025.5") << QByteArray("\x40\x0C\xAC\x46\x00\x00\x00\x00\x00\x00", 10) << "11025.5";
    QTest::newRow("zero") << QByteArray(10, '\0') << "0";
  }
  void aiffSampleRates() {
    QFETCH(QByteArray, extended);
    QFETCH(QString, rate);
    // COMM: 1 channel, 4 frames, 16 bits, the rate; SSND: offset 0, block size 0, 8 bytes.
    const QByteArray form = QByteArray("AIFF") + iff("COMM", u16(1) + u32(4) + u16(16) + extended) +
                            iff("SSND", u32(0) + u32(0) + QByteArray(8, '\0'));
    const Parsed parsed = parse(QByteArray("FORM") + u32(quint64(form.size())) + form, "rate.aiff");
    verifyChecked(parsed, 0);
    QCOMPARE(parsed.format, QStringLiteral("riff.aiff"));
    QCOMPARE(at(parsed, "FORM/COMM/sampleRate"), rate + " [Hz (80-bit extended)]");
  }

  // VP8L: signature 0x2F, then (least significant bit first) 14 bits width - 1 = 99, 14 bits
  // height - 1 = 49, alpha 1, version 0: the 32-bit value 0x100C4063, stored 63 40 0C 10.
  void losslessHeaderBits() {
    const QByteArray vp8l = chunk("VP8L", QByteArray("\x2F\x63\x40\x0C\x10\x00\x00", 7));
    const Parsed parsed = parse(riff("WEBP", vp8l), "bits.webp");
    verifyChecked(parsed, 0);
    QCOMPARE(at(parsed, "RIFF/VP8L"), QStringLiteral("100x50, alpha [lossless image]"));
    QCOMPARE(at(parsed, "RIFF/VP8L/image_width_minus_one"), QStringLiteral("99 [100 pixels]"));
    QCOMPARE(at(parsed, "RIFF/VP8L/image_height_minus_one"), QStringLiteral("49 [50 pixels]"));
    // alpha_is_used is bit 28: bit 4 of the fourth byte, the fourth bit in file order.
    const Element* alpha = parsed.at("RIFF/VP8L/alpha_is_used");
    QCOMPARE(alpha->offset, qint64((12 + 8 + 1 + 3) * 8 + 3));
    QCOMPARE(alpha->size, qint64(1));
    QCOMPARE(alpha->raw, QStringLiteral("1"));
  }

  // Some writers count idx1 offsets from the file's start: each entry still finds its chunk, and
  // the frame it names shows the index's key-frame flag.
  void idx1OffsetsFromTheFileStart() {
    // hdrl with one video strh (fccType vids); movi with two frames; idx1 with absolute offsets.
    const QByteArray strh = chunk("strh", QByteArray("vidsDIB ") + QByteArray(48, '\0'));
    const QByteArray hdrl = list("LIST", "hdrl", list("LIST", "strl", strh));
    const QByteArray movi = list("LIST", "movi", chunk("00dc", "abcd") + chunk("00dc", "ef"));
    const qint64 movi_at = 12 + hdrl.size();
    const qint64 first = movi_at + 12, second = first + 12;
    const QByteArray idx1 = chunk("idx1", QByteArray("00dc") + le(0x10, 4) + le(quint64(first), 4) + le(4, 4) +
                                              QByteArray("00dc") + le(0, 4) + le(quint64(second), 4) + le(2, 4));
    const Parsed parsed = parse(riff("AVI ", hdrl + movi + idx1), "absolute.avi");
    verifyChecked(parsed, 0);
    const auto offsets = parsed.named("dwChunkOffset");
    QCOMPARE(int(offsets.size()), 2);
    for (const Element* offset : offsets) QCOMPARE(offset->hrf, QStringLiteral("points at 00dc"));
    const auto frames = parsed.named("00dc");
    QCOMPARE(frames[0]->raw, QStringLiteral("stream 0 compressed video, 4 bytes, key frame"));
    QCOMPARE(frames[1]->raw, QStringLiteral("stream 0 compressed video, 2 bytes, not a key frame"));
    QCOMPARE(frames[1]->seq, qint64(1));
  }

  // An H.264 stream's strf carries its avcC after the BITMAPINFOHEADER: the shared decoder reads it.
  void avcConfigurationInStreamFormat() {
    const QByteArray strh = chunk("strh", QByteArray("vidsH264") + QByteArray(48, '\0'));
    // biSize 40, 16x16, 1 plane, 24 bits, 'H264', then zeros; avcC: version 1, Baseline (66),
    // compatibility 0xC0, level 30, 4-byte lengths, no SPS, no PPS.
    const QByteArray bih = le(40, 4) + le(16, 4) + le(16, 4) + le(1, 2) + le(24, 2) + "H264" + QByteArray(20, '\0');
    const QByteArray avcc("\x01\x42\xC0\x1E\xFF\xE0\x00", 7);
    const QByteArray hdrl = list("LIST", "hdrl", list("LIST", "strl", strh + chunk("strf", bih + avcc)));
    const Parsed parsed = parse(riff("AVI ", hdrl + list("LIST", "movi", QByteArray())), "avc.avi");
    verifyChecked(parsed, 0);
    QCOMPARE(at(parsed, "RIFF/LIST/LIST/strf/biCompression"), QStringLiteral("H264 []"));
    const Element* record = parsed.at("RIFF/LIST/LIST/strf/AVCDecoderConfigurationRecord");
    QVERIFY(record);
    QCOMPARE(record->byteSize(), qint64(7));
    QCOMPARE(parsed.at("AVCProfileIndication", record->id)->raw, QStringLiteral("66"));
    QVERIFY(!parsed.at("RIFF/LIST/LIST/strf/codec_data"));
  }

  // Files that are no RIFF or IFF at all are refused with a reason.
  void otherFilesAreRefused() {
    const Parsed parsed = parse(QByteArray("RIFX") + le(4, 4) + "WAVE", "other.wav");
    QVERIFY(parsed.result != 0);
  }
};

CORVANTA_TEST_CORE_MAIN(RiffFixturesTest)
#include "RiffFixturesTest.moc"
