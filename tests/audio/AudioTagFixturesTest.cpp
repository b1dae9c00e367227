// Hand-built tags for what the tagging tools here do not write: ID3v2.3 unsynchronisation of the
// whole tag, ID3v2.4 unsynchronisation of one frame with a data length indicator, ID3v2.2, an
// ID3v2.4 extended header, a tag appended with a footer, APEv1, and hostile sizes. Each goes
// through writeAudioTagsIn, the entry point that RIFF, AIFF and FLAC modules call on a chunk.
#include "../codecs/CodecTestSupport.h"
#include "TestSupport.h"
#include "codecs/AudioTags.h"

using namespace codectest;
using namespace corvanta::test;

namespace {

// The raw or readable value at a path, or a note that nothing stands there.
QString rawAt(const Decoded& d, const char* path) {
  const Element* e = d.at(QString::fromLatin1(path));
  return e ? e->raw : QStringLiteral("<missing %1>").arg(QLatin1String(path));
}
QString hrfAt(const Decoded& d, const char* path) {
  const Element* e = d.at(QString::fromLatin1(path));
  return e ? e->hrf : QStringLiteral("<missing %1>").arg(QLatin1String(path));
}

Decoded tagsIn(const QByteArray& bytes, bool* found = nullptr) {
  return decodeBytes(bytes, [found](corvanta::FieldReader& f) {
    const bool any = corvanta::codecs::writeAudioTagsIn(f.writer(), f.fileData(), 0, f.endByte());
    if (found) *found = any;
    return std::string();
  });
}

QByteArray syncSafe(quint32 value) {
  return u8((value >> 21) & 0x7F) + u8((value >> 14) & 0x7F) + u8((value >> 7) & 0x7F) + u8(value & 0x7F);
}

QByteArray id3Header(int version, quint8 flags, quint32 size) {
  return QByteArray("ID3") + u8(quint64(version)) + u8(0) + u8(flags) + syncSafe(size);
}

QByteArray le32(quint32 v) {
  QByteArray out;
  for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
  return out;
}

}  // namespace

class AudioTagFixturesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // ID3v2.3, unsynchronisation flag set (header flags 0x80): the PRIV data FF E0 41 is stored as
  // FF 00 E0 41. The frame size counts the bytes after undoing it (2 + 3 = 5); the frame covers
  // the 6 stored bytes, and the private data element the 4 bytes at 22..25 (its dump shows them
  // as stored, its readable value the 3 bytes they hold).
  void version3UnsynchronisedTag() {
    const QByteArray frame = QByteArray("PRIV") + u32(5) + u16(0) + QByteArray("x\0", 2) + QByteArray("\xFF\x00\xE0\x41", 4);
    const Decoded d = tagsIn(id3Header(3, 0x80, quint32(frame.size())) + frame);
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    const Element* priv = d.at("ID3v2/PRIV");
    QVERIFY(priv);
    QCOMPARE(priv->byteOffset(), 10);
    QCOMPARE(priv->byteSize(), 16);
    const Element* data = d.at("ID3v2/PRIV/private_data");
    QVERIFY(data);
    QCOMPARE(data->byteOffset(), 22);
    QCOMPARE(data->byteSize(), 4);
    QCOMPARE(data->raw, QStringLiteral("FF 00 E0 41"));
    QCOMPARE(data->hrf, QStringLiteral("3 bytes"));
    QCOMPARE(d.garbageCount(), 0);
  }

  // ID3v2.4, one frame unsynchronised (frame flags 0x0003: unsynchronisation and data length
  // indicator): TIT2 text "\xFF\xE9" in ISO-8859-1 is stored as FF 00 E9; the frame size counts
  // the stored bytes (4 + 1 + 3 = 8), the data length indicator the bytes after undoing (3).
  void version4UnsynchronisedFrame() {
    const QByteArray frame = QByteArray("TIT2") + syncSafe(8) + u16(0x0003) + syncSafe(3) + u8(0) +
                             QByteArray("\xFF\x00\xE9", 3);
    const Decoded d = tagsIn(id3Header(4, 0, quint32(frame.size())) + frame);
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    const Element* text = d.at("ID3v2/TIT2/text");
    QVERIFY(text);
    QCOMPARE(text->raw, QString::fromUtf8("\xC3\xBF\xC3\xA9"));  // ÿé
    QCOMPARE(text->byteOffset(), 25);
    QCOMPARE(text->byteSize(), 3);
    QCOMPARE(rawAt(d, "ID3v2/TIT2/data_length"), QStringLiteral("3"));
  }

  // ID3v2.2: three-character ids, 24-bit sizes, no frame flags; PIC has a three-letter image
  // format in place of a MIME type.
  void version2Frames() {
    const QByteArray title = QByteArray("TT2") + be(5, 3) + u8(0) + QByteArray("Tone");
    const QByteArray picture = QByteArray("PIC") + be(10, 3) + u8(0) + QByteArray("PNG") + u8(3) + u8(0) +
                               QByteArray("\x89PNG", 4);
    const Decoded d = tagsIn(id3Header(2, 0, quint32(title.size() + picture.size() + 6)) + title + picture +
                             QByteArray(6, '\0'));
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    QCOMPARE(hrfAt(d, "ID3v2/TT2/frame_id"), QStringLiteral("Title"));
    QCOMPARE(rawAt(d, "ID3v2/TT2/text"), QStringLiteral("Tone"));
    QCOMPARE(rawAt(d, "ID3v2/PIC/image_format"), QStringLiteral("PNG"));
    QCOMPARE(hrfAt(d, "ID3v2/PIC/picture_type"), QStringLiteral("Cover (front)"));
    QVERIFY(d.at("ID3v2/padding"));
    QCOMPARE(d.at("ID3v2/padding")->byteSize(), 6);
  }

  // ID3v2.4 extended header of 14 bytes: size, one flag byte with CRC (0x20) and restrictions
  // (0x10), the 35-bit CRC in five sync-safe bytes, one restrictions byte.
  void version4ExtendedHeader() {
    const QByteArray extended = syncSafe(14) + u8(1) + u8(0x30) + u8(5) + QByteArray("\x01\x7F\x7F\x7F\x7F", 5) + u8(1) +
                                u8(0xC0);
    const QByteArray frame = QByteArray("TALB") + syncSafe(2) + u16(0) + u8(0) + QByteArray("A");
    const Decoded d = tagsIn(id3Header(4, 0x40, quint32(extended.size() + frame.size())) + extended + frame);
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    QVERIFY(d.at("ID3v2/extended_header"));
    QCOMPARE(d.at("ID3v2/extended_header")->byteSize(), 14);
    QCOMPARE(hrfAt(d, "ID3v2/extended_header/total_frame_crc"), QStringLiteral("0x1FFFFFFF"));
    QCOMPARE(rawAt(d, "ID3v2/extended_header/tag_size_restrictions"), QStringLiteral("3"));
    QCOMPARE(rawAt(d, "ID3v2/TALB/text"), QStringLiteral("A"));
  }

  // A tag appended after other bytes is found backwards from its footer ("3DI"); the bytes
  // before it are no tag.
  void appendedTagWithFooter() {
    const QByteArray frame = QByteArray("TIT2") + syncSafe(2) + u16(0) + u8(0) + QByteArray("B");
    const QByteArray body = frame;
    const QByteArray tag = id3Header(4, 0x10, quint32(body.size())) + body + QByteArray("3DI") + u8(4) + u8(0) +
                           u8(0x10) + syncSafe(quint32(body.size()));
    bool found = false;
    const Decoded d = tagsIn(QByteArray("audio") + tag, &found);
    QVERIFY(found);
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    QCOMPARE(d.garbageCount(), 1);
    QVERIFY(d.at("ID3v2") && d.at("ID3v2/footer"));
    QCOMPARE(d.at("ID3v2")->byteOffset(), 5);
    QCOMPARE(d.at("ID3v2/footer")->byteOffset(), 5 + 10 + body.size());
  }

  // APEv1: no header, text items, version 1000 in the footer.
  void apeVersion1() {
    const QByteArray item = le32(3) + le32(0) + QByteArray("Title\0", 6) + QByteArray("Ape");
    const QByteArray footer = QByteArray("APETAGEX") + le32(1000) + le32(quint32(item.size() + 32)) + le32(1) + le32(0) +
                              QByteArray(8, '\0');
    const Decoded d = tagsIn(QByteArray(3, 'x') + item + footer);
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    QCOMPARE(rawAt(d, "APE"), QStringLiteral("APEv1, 1 item"));
    QCOMPARE(rawAt(d, "APE/item/key"), QStringLiteral("Title"));
    QCOMPARE(rawAt(d, "APE/item/value"), QStringLiteral("Ape"));
  }

  // Sizes that the tag cannot hold are clamped and said so; nothing is read past the tag.
  void hostileSizes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("hrf");
    const QByteArray huge_frame = QByteArray("TIT2") + u32(0x7FFFFFFF) + u16(0) + u8(0) + QByteArray("abc");
    QTest::newRow("frame larger than the tag") << id3Header(3, 0, quint32(huge_frame.size())) + huge_frame
                                               << "ID3v2/TIT2" << "Title, truncated";
    QTest::newRow("tag larger than the file") << id3Header(3, 0, 100000) + QByteArray("TIT2") + u32(2) + u16(0) + u8(0) + "A"
                                              << "ID3v2" << "truncated";
    const QByteArray item = le32(0xFFFFFFF0) + le32(0) + QByteArray("Key\0", 4) + QByteArray("v");
    const QByteArray footer = QByteArray("APETAGEX") + le32(2000) + le32(quint32(item.size() + 32)) + le32(1000000) +
                              le32(0) + QByteArray(8, '\0');
    QTest::newRow("APE value larger than the tag") << item + footer << "APE/item/value" << "truncated";
  }
  void hostileSizes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);
    QFETCH(QString, hrf);
    const Decoded d = tagsIn(bytes);
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    const Element* e = d.at(path);
    QVERIFY2(e, qPrintable(path));
    QCOMPARE(e->hrf, hrf);
  }

  // A chunk without a tag is left to its caller.
  void noTag() {
    bool found = true;
    const Decoded d = tagsIn(QByteArray("not a tag at all"), &found);
    QVERIFY(!found);
    QVERIFY(d.elements.empty());
  }
};

CORVANTA_TEST_CORE_MAIN(AudioTagFixturesTest)
#include "AudioTagFixturesTest.moc"
