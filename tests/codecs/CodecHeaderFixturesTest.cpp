// Hand-built headers for the decoders that Matroska shares with Ogg, FLAC and RIFF: Xiph lacing,
// the Vorbis and Theora header packets, Vorbis comments, FLAC metadata blocks, OpusHead,
// BITMAPINFOHEADER and WAVEFORMATEX(TENSIBLE). Each fixture's bytes are written field by field;
// Vorbis packs its bit fields from the least significant bit, so its bit positions are checked.
#include "CodecTestSupport.h"
#include "TestSupport.h"
#include "codecs/BitmapInfoHeader.h"
#include "codecs/FlacMetadata.h"
#include "codecs/OpusConfiguration.h"
#include "codecs/TheoraHeaders.h"
#include "codecs/VorbisComment.h"
#include "codecs/VorbisHeaders.h"
#include "codecs/WaveFormatEx.h"
#include "codecs/XiphLacing.h"

using namespace codectest;
using namespace corvanta::codecs;

namespace {

QByteArray le(quint64 value, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i, value >>= 8) out.append(char(value & 0xff));
  return out;
}

const Element* field(const Decoded& d, const char* name, qint64 seq = -1) {
  for (const Element& e : d.elements)
    if (e.name == QLatin1String(name) && (seq < 0 || e.seq == seq)) return &e;
  return nullptr;
}

// "offset:bits+size raw" of a field, offsets and sizes in bits.
QString where(const Element* e) {
  return e ? QStringLiteral("%1+%2 %3").arg(e->offset).arg(e->size).arg(e->raw) : QStringLiteral("missing");
}

void expectValid(const Decoded& d, qint64 bytes) {
  QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
  QCOMPARE(d.report.covered_bits, bytes * 8);
}

}  // namespace

class CodecHeaderFixturesTest : public QObject {
  Q_OBJECT

 private slots:
  // Sizes of 0, 254, 255 (a run of one 255 and a 0) and 510 (two 255s and a 0).
  void xiphLacing() {
    const QByteArray bytes = QByteArray::fromHex("00" "FE" "FF00" "FFFF00");
    std::vector<int64_t> sizes;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) {
      xiphLacedSizes(f, 4, "size", sizes);
      return std::string();
    });
    expectValid(d, bytes.size());
    QCOMPARE(sizes, (std::vector<int64_t>{0, 254, 255, 510}));
    QCOMPARE(where(field(d, "size", 3)), QStringLiteral("16+16 255"));
    QCOMPARE(where(field(d, "size", 4)), QStringLiteral("32+24 510"));
    // A run of 255s that the range ends inside fails the reader and writes nothing for it.
    const QByteArray open_run = QByteArray::fromHex("01FFFF");
    std::vector<int64_t> none;
    bool ok = true;
    const Decoded broken = decodeBytes(open_run, [&](corvanta::FieldReader& f) {
      ok = xiphLacedSizes(f, 2, "size", none);
      return std::string();
    });
    QVERIFY(!ok);
    QCOMPARE(none, (std::vector<int64_t>{1}));
    QVERIFY(!field(broken, "size", 2));
  }

  // The Vorbis identification header: little-endian numbers; block sizes 2^8 and 2^11 share one
  // byte, blocksize_0 in its low nibble (0xB8: blocksize_1 11, blocksize_0 8); the framing flag
  // is the low bit of the last byte.
  void vorbisIdentification() {
    const QByteArray bytes = QByteArray::fromHex("01") + "vorbis" + le(0, 4) + QByteArray::fromHex("02") +
                             le(44100, 4) + le(0, 4) + le(128000, 4) + le(0, 4) + QByteArray::fromHex("B801");
    const Decoded d = decodeBytes(bytes, [](corvanta::FieldReader& f) { return vorbisHeaderPacket(f); });
    expectValid(d, bytes.size());
    QCOMPARE(d.summary, std::string("Vorbis identification, 2 ch 44100 Hz, nominal 128000 bit/s"));
    QCOMPARE(d.elements.front().name, QStringLiteral("identification_header"));
    QCOMPARE(where(field(d, "audio_sample_rate")), QStringLiteral("96+32 44100"));
    QCOMPARE(where(field(d, "blocksize_1")), QStringLiteral("224+4 11"));
    QCOMPARE(field(d, "blocksize_1")->hrf, QStringLiteral("2048 samples"));
    QCOMPARE(where(field(d, "blocksize_0")), QStringLiteral("228+4 8"));
    QCOMPARE(where(field(d, "framing_flag")), QStringLiteral("239+1 1"));
  }

  // The comment header: vendor "v", two comments, framing bit; and a list that claims more
  // comments than its bytes hold, whose missing ones are not made up.
  void vorbisComments() {
    const QByteArray comments = le(1, 4) + "v" + le(2, 4) + le(7, 4) + "TITLE=a" + le(3, 4) + "X=y";
    const QByteArray bytes = QByteArray::fromHex("03") + "vorbis" + comments + QByteArray::fromHex("01");
    const Decoded d = decodeBytes(bytes, [](corvanta::FieldReader& f) { return vorbisHeaderPacket(f); });
    expectValid(d, bytes.size());
    QCOMPARE(d.summary, std::string("Vorbis comments, vendor \"v\", 2 comments"));
    QCOMPARE(field(d, "user_comment", 2)->raw, QStringLiteral("X=y"));
    QVERIFY(field(d, "framing_bit"));

    const QByteArray hostile = le(0, 4) + le(0xFFFFFFFF, 4) + le(3, 4) + "A=b";
    const Decoded h = decodeBytes(hostile, [](corvanta::FieldReader& f) { return vorbisComment(f, false); });
    QVERIFY2(h.report.ok(), qPrintable(h.report.summary()));
    QCOMPARE(h.summary, std::string("vendor \"\", 1 comment"));
  }

  // The Theora identification header: 64x48 in 4x3 macroblocks, 25/1 fps, 4:2:0, big-endian
  // bit fields; QUAL 40, KFGSHIFT 6, PF 0 fill "1010 0000 1100 0000" after NOMBR.
  void theoraIdentification() {
    const QByteArray bytes = QByteArray::fromHex("80") + "theora" + QByteArray::fromHex(
                                 "030201"      // VMAJ VMIN VREV
                                 "0004" "0003"  // FMBW FMBH (macroblocks)
                                 "000040" "000030" "00" "00"  // PICW PICH PICX PICY
                                 "00000019" "00000001"        // FRN FRD
                                 "000001" "000001" "00"       // PARN PARD CS
                                 "000000"                     // NOMBR
                                 "A0C0");                     // QUAL 101000, KFGSHIFT 00110, PF 00, 000
    const Decoded d = decodeBytes(bytes, [](corvanta::FieldReader& f) { return theoraHeaderPacket(f); });
    expectValid(d, bytes.size());
    QCOMPARE(d.summary, std::string("Theora 3.2.1 identification, 64x48 4:2:0, 25 fps"));
    QCOMPARE(where(field(d, "QUAL")), QStringLiteral("320+6 40"));
    QCOMPARE(where(field(d, "KFGSHIFT")), QStringLiteral("326+5 6"));
    QCOMPARE(where(field(d, "PF")), QStringLiteral("331+2 0"));
    QCOMPARE(field(d, "FMBW")->hrf, QStringLiteral("64 pixels"));
  }

  // FLAC metadata: STREAMINFO (44100 Hz, 2 channels, 16 bits, 1000 samples), a SEEKTABLE with a
  // placeholder point, a PICTURE, and a PADDING that claims more than there is.
  void flacBlocks() {
    // STREAMINFO bits after the frame sizes: sample rate 44100 (20 bits), channels-1 1 (3),
    // bits-1 15 (5), total samples 1000 (36): 0AC4 4 | 001 | 01111 | 0000 0000 0000 0000 0000 0000 0011 1110 1000
    const QByteArray streaminfo = QByteArray::fromHex("1000" "1000" "000000" "000000" "0AC442F0000003E8") +
                                  QByteArray(16, '\0');
    const QByteArray seek = QByteArray::fromHex("FFFFFFFFFFFFFFFF" "0000000000000000" "0000");
    const QByteArray picture = QByteArray::fromHex("00000003") + QByteArray::fromHex("00000009") + "image/png" +
                               QByteArray::fromHex("00000000") + QByteArray::fromHex("00000010" "00000010" "00000018" "00000000") +
                               QByteArray::fromHex("00000002") + "xy";
    const QByteArray bytes = QByteArray("fLaC") + QByteArray::fromHex("00000022") + streaminfo +
                             QByteArray::fromHex("03000012") + seek + QByteArray::fromHex("06") +
                             isotest::be(quint64(picture.size()), 3) + picture + QByteArray::fromHex("81000064") + "pad";
    const Decoded d = decodeBytes(bytes, [](corvanta::FieldReader& f) { return flacMetadata(f); });
    expectValid(d, bytes.size());
    QCOMPARE(d.summary, std::string("FLAC, 2 ch 44100 Hz, 16 bits, 1000 samples"));
    QCOMPARE(field(d, "sample_rate")->raw, QStringLiteral("44100"));
    // the payload starts at byte 8; the rate follows 80 bits of block and frame sizes
    QCOMPARE(where(field(d, "sample_rate")), QStringLiteral("144+20 44100"));
    QCOMPARE(where(field(d, "total_samples")), QStringLiteral("172+36 1000"));
    QCOMPARE(field(d, "sample_number")->hrf, QStringLiteral("placeholder"));
    QCOMPARE(field(d, "picture_type")->hrf, QStringLiteral("front cover"));
    QCOMPARE(field(d, "PICTURE")->raw, QStringLiteral("front cover, image/png, 16x16"));
    QCOMPARE(field(d, "PADDING")->raw, QStringLiteral("100 bytes, truncated"));
  }

  // OpusHead with channel mapping family 1: stream and coupled counts, one mapping per channel.
  void opusHeadMapping() {
    const QByteArray bytes = QByteArray("OpusHead") + QByteArray::fromHex("01" "03") + le(312, 2) + le(48000, 4) +
                             le(quint64(-256) & 0xFFFF, 2) + QByteArray::fromHex("01" "02" "01" "000102");
    const Decoded d = decodeBytes(bytes, [](corvanta::FieldReader& f) { return opusHead(f); });
    expectValid(d, bytes.size());
    QCOMPARE(d.summary, std::string("Opus v1, 3 ch, input 48000 Hz"));
    QCOMPARE(field(d, "OutputGain")->raw, QStringLiteral("-256"));
    QCOMPARE(field(d, "ChannelMapping", 3)->raw, QStringLiteral("2"));
  }

  // BITMAPINFOHEADER: a top-down BI_RGB image and a four-character code.
  void bitmapInfoHeader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("height_hrf");
    const QByteArray tail = le(0, 4) + le(0, 4) + le(0, 4) + le(0, 4) + le(0, 4);
    QTest::newRow("BI_RGB top-down") << le(40, 4) + le(320, 4) + le(quint64(-240) & 0xFFFFFFFF, 4) + le(1, 2) + le(24, 2) +
                                            le(0, 4) + tail
                                     << "BI_RGB 320x240, 24 bits" << "top-down";
    QTest::newRow("fourcc with codec data") << le(40, 4) + le(64, 4) + le(48, 4) + le(1, 2) + le(24, 2) + "DIV3" + tail +
                                                   "extra"
                                            << "DIV3 64x48, 24 bits" << "bottom-up";
  }

  void bitmapInfoHeader() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, summary);
    QFETCH(QString, height_hrf);
    const Decoded d = decodeBytes(bytes, [](corvanta::FieldReader& f) { return corvanta::codecs::bitmapInfoHeader(f); });
    expectValid(d, bytes.size());
    QCOMPARE(QString::fromStdString(d.summary), summary);
    QCOMPARE(field(d, "biHeight")->hrf, height_hrf);
  }

  // WAVEFORMATEXTENSIBLE: 6 channels with a channel mask, the PCM sub-format GUID.
  void waveFormatExtensible() {
    const QByteArray guid = QByteArray::fromHex("0100000000001000800000AA00389B71");
    const QByteArray bytes = le(0xFFFE, 2) + le(6, 2) + le(48000, 4) + le(576000, 4) + le(12, 2) + le(16, 2) +
                             le(22, 2) + le(16, 2) + le(0x3F, 4) + guid;
    const Decoded d = decodeBytes(bytes, [](corvanta::FieldReader& f) { return waveFormatEx(f); });
    expectValid(d, bytes.size());
    QCOMPARE(d.summary, std::string("PCM, 6 ch 48000 Hz, 16 bits"));
    QCOMPARE(field(d, "dwChannelMask")->hrf, QStringLiteral("FL FR FC LFE BL BR"));
    QCOMPARE(field(d, "SubFormat")->raw, QStringLiteral("00000001-0000-0010-8000-00AA00389B71"));
    QCOMPARE(field(d, "SubFormat")->hrf, QStringLiteral("PCM"));
  }
};

CORVANTA_TEST_CORE_MAIN(CodecHeaderFixturesTest)
#include "CodecHeaderFixturesTest.moc"
