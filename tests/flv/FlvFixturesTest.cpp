// Hand-built FLV files, their bytes spelt out beside each case: AMF0 and AMF3 values of every
// kind, keyframe positions that miss the tags, odd headers and the enhanced audio form.
#include "ParsedFile.h"
#include "TestSupport.h"

#include <cstring>

using namespace corvanta::test;

namespace {

QByteArray text(const char* s) { return QByteArray(s); }
QByteArray f64(double value) {
  quint64 bits;
  std::memcpy(&bits, &value, sizeof bits);
  return be(bits, 8);
}

// AMF0: a key or short string with its 16-bit length; values with their type marker.
QByteArray key(const char* s) { return u16(quint64(std::strlen(s))) + s; }
QByteArray number(double v) { return u8(0) + f64(v); }
QByteArray string0(const char* s) { return u8(2) + key(s); }
QByteArray objectEnd() { return u16(0) + u8(9); }
QByteArray prop(const char* name, const QByteArray& value) { return key(name) + value; }
QByteArray ecmaArray(const QByteArray& properties, int count) { return u8(8) + u32(quint64(count)) + properties + objectEnd(); }

// A tag: type, DataSize, Timestamp with its extension, StreamID 0, the body, its PreviousTagSize.
QByteArray tag(int type, quint32 milliseconds, const QByteArray& body, qint64 previous_size_error = 0) {
  const QByteArray header = u8(quint64(type)) + be(quint64(body.size()), 3) + be(milliseconds & 0xFFFFFF, 3) +
                            u8(milliseconds >> 24) + be(0, 3);
  return header + body + u32(quint64(11 + body.size() + previous_size_error));
}

// "FLV", version 1, audio and video flags, DataOffset, PreviousTagSize0, then the tags.
QByteArray flv(const QByteArray& tags, quint32 data_offset = 9) {
  return text("FLV") + u8(1) + u8(5) + u32(data_offset) + QByteArray(int(data_offset) - 9 > 0 ? int(data_offset) - 9 : 0, '\0') +
         u32(0) + tags;
}

QByteArray script(const QByteArray& value) { return tag(18, 0, string0("onMetaData") + value); }

Parsed parse(const QByteArray& bytes) { return parseBytesAs(bytes, QStringLiteral("fixture.flv")); }

// The element at `path` below the first script tag's Value, as "raw [hrf]".
QString valueAt(const Parsed& parsed, const QString& path) {
  const Element* e = parsed.at("script data/Value/" + path);
  return e ? e->raw + " [" + e->hrf + "]" : QStringLiteral("(missing)");
}

}  // namespace

class FlvFixturesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void amf0ValuesOfEveryKind_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("number") << "n" << "2.5 [number]";
    QTest::newRow("boolean") << "b" << "true [boolean]";
    QTest::newRow("string") << "s" << "text [string]";
    QTest::newRow("object") << "o" << "1 property [object]";
    QTest::newRow("inside the object") << "o/inner" << "7 [number]";
    QTest::newRow("null") << "z" << "null [null]";
    QTest::newRow("undefined") << "u" << "undefined [undefined]";
    QTest::newRow("reference") << "r" << "reference to #1 [reference]";
    QTest::newRow("strict array") << "a" << "2 values, 1 … 3 [strict array]";
    QTest::newRow("date") << "d" << "2001-09-09 01:46:40 UTC [date]";
    QTest::newRow("long string") << "l" << "long [long string]";
    QTest::newRow("typed object") << "t" << "Point, 1 property [typed object]";
    QTest::newRow("XML document") << "x" << "<a/> [XML document]";
  }
  void amf0ValuesOfEveryKind() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const QByteArray properties =
        prop("n", number(2.5)) + prop("b", u8(1) + u8(1)) + prop("s", string0("text")) +
        prop("o", u8(3) + prop("inner", number(7)) + objectEnd()) + prop("z", u8(5)) +
        prop("u", u8(6)) + prop("r", u8(7) + u16(1)) +
        prop("a", u8(10) + u32(2) + number(1) + number(3)) +
        prop("d", u8(11) + f64(1e12) + u16(0)) + prop("l", u8(12) + u32(4) + "long") +
        prop("t", u8(16) + key("Point") + prop("x", number(1)) + objectEnd()) +
        prop("x", u8(15) + u32(4) + "<a/>");
    const Parsed parsed = parse(flv(script(ecmaArray(properties, 12))));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), 0);
    QCOMPARE(valueAt(parsed, path), expected);
  }

  // An "avmplus" value switches to AMF3: an object with inline traits (two sealed members,
  // dynamic), a negative 29-bit integer, and a dynamic member whose name is a string reference.
  void amf3InsideAnAvmplusValue() {
    const QByteArray amf3 = u8(0x0A) +            // object
                            u8(0x2B) +            // U29: 2 sealed members << 4 | dynamic 8 | inline traits 3
                            u8(0x01) +            // class name: empty inline string
                            u8(0x03) + "a" + u8(0x03) + "b" +  // sealed names "a", "b" (table #0, #1)
                            u8(0x04) + be(0xFFFFFFFF, 4) +     // a: integer, U29 0x1FFFFFFF = -1
                            u8(0x06) + u8(0x05) + "hi" +       // b: string "hi"
                            u8(0x02) + u8(0x03) +              // dynamic: name = string #1 ("b"), true
                            u8(0x01);                          // end of dynamic members
    const Parsed parsed = parse(flv(script(ecmaArray(prop("v", u8(0x11) + amf3), 1))));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(valueAt(parsed, "v/AMF3 value"), QStringLiteral("2 sealed members, 1 named member [object]"));
    QCOMPARE(valueAt(parsed, "v/AMF3 value/a"), QStringLiteral("-1 [integer]"));
    const Element* object = parsed.at("script data/Value/v/AMF3 value");
    QStringList members;
    for (const Element* e : parsed.children(object->id)) members << e->name + "=" + e->raw;
    QVERIFY2(members.join(' ').endsWith("a=-1 b=hi b=true end=1"), qPrintable(members.join(' ')));
  }

  // Objects nested far deeper than any real metadata end in one undecoded field.
  void nestingIsBounded() {
    QByteArray value = number(1);
    for (int i = 0; i < 300; ++i) value = u8(3) + prop("x", value) + objectEnd();
    const Parsed parsed = parse(flv(script(ecmaArray(prop("deep", value), 1)) + tag(8, 0, u8(0x2F) + "mp3!")));
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.named("nested").size(), size_t(1));
    QVERIFY(parsed.at("audio"));
  }

  void keyframePositionsThatMissTheTags() {
    const QByteArray keyframes =
        u8(3) + prop("filepositions", u8(10) + u32(2) + number(13) + number(99)) + objectEnd();
    const Parsed parsed = parse(flv(script(ecmaArray(prop("keyframes", keyframes), 1))));
    QCOMPARE(valueAt(parsed, "keyframes/filepositions"),
             QStringLiteral("2 values, 13 … 99, 1 of them not at a tag start [strict array]"));
    QCOMPARE(valueAt(parsed, "keyframes/filepositions/item/value"), QStringLiteral("13 [tag start]"));
  }

  // A wrong PreviousTagSize before a good tag header is shown, not taken for a broken stretch;
  // a DataOffset below 9 is shown and read as 9; TimestampExtended is the top byte of the time.
  void oddButReadableHeaders() {
    const QByteArray audio = u8(0x2F) + "mp3!";  // MP3, 44 kHz, 16-bit, stereo
    const Parsed parsed = parse(flv(tag(8, 0x01000010, audio, 5) + tag(8, 26, audio)).replace(5, 4, u32(5)));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), 0);
    QCOMPARE(parsed.at("FLV header/DataOffset")->hrf, QStringLiteral("too small, taken as 9"));
    const std::vector<const Element*> sizes = parsed.named("PreviousTagSize");
    QCOMPARE(sizes.size(), size_t(3));
    QCOMPARE(sizes[1]->hrf, QStringLiteral("differs by +5 from 16"));
    QCOMPARE(sizes[2]->hrf, QStringLiteral("ok"));
    const Element* first = parsed.at("audio");
    QCOMPARE(first->hrf, QStringLiteral("16777.232000 s"));
    QCOMPARE(first->raw, QStringLiteral("MP3, 44 kHz, 16-bit, stereo"));
    QCOMPARE(parsed.named("audio").size(), size_t(2));
  }

  void enhancedAudioAndLegacyVideoForms_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("summary");
    // 0x90: extended header, SequenceStart; "mp4a"; AudioSpecificConfig 0x12 0x10: AAC LC, 44100 Hz, 2 channels.
    QTest::newRow("enhanced AAC start") << 8 << (u8(0x90) + "mp4a" + u8(0x12) + u8(0x10))
                                        << "AAC, SequenceStart, AAC LC, 2 ch 44100 Hz";
    // 0x52: video info/command frame, Sorenson H.263; command 0.
    QTest::newRow("command frame") << 9 << (u8(0x52) + u8(0))
                                   << "video info/command frame, Sorenson H.263, start of client-side seeking";
    // 0x15: key frame, VP6 with alpha; adjustments, OffsetToAlpha 2, two bytes of frame.
    QTest::newRow("VP6 with alpha") << 9 << (u8(0x15) + u8(0x00) + be(2, 3) + u8(1) + u8(2))
                                    << "key frame, On2 VP6 with alpha";
    // Enhanced video, key frame, CodedFrames, "vp09": the frame stays opaque.
    QTest::newRow("enhanced VP9 frame") << 9 << (u8(0x91) + "vp09" + u8(0x83) + u8(0x49))
                                        << "key frame, VP9, CodedFrames";
  }
  void enhancedAudioAndLegacyVideoForms() {
    QFETCH(int, type);
    QFETCH(QByteArray, body);
    QFETCH(QString, summary);
    const Parsed parsed = parse(flv(tag(type, 0, body)));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const Element* unit = parsed.at(type == 8 ? "audio" : "video");
    QVERIFY(unit);
    QCOMPARE(unit->raw, summary);
    for (const Element& e : parsed.elements) QVERIFY2(e.name != "undecoded", qPrintable(e.raw));
  }
};

CORVANTA_TEST_CORE_MAIN(FlvFixturesTest)
#include "FlvFixturesTest.moc"
