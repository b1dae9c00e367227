// The field reader and the shared text forms on hand-built bytes: each row runs a short
// script of reads and compares the elements written (name, bit offset + bit size, raw value,
// readable value), whether the reader is still good and where it stopped.

#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "TestSupport.h"
#include "TextForms.h"

#include <sqlite3.h>

#include <vector>

using corvanta::FieldReader;
using corvanta::TextEncoding;

namespace {

struct Outcome {
  QStringList elements;  // "name offset+size = raw (hrf)"
  bool ok = false;
  qint64 bit_pos = 0;
};

TextEncoding encodingNamed(const QString& name) {
  if (name == "latin1") return TextEncoding::Latin1;
  if (name == "utf8") return TextEncoding::Utf8;
  if (name == "utf16be") return TextEncoding::Utf16Be;
  if (name == "utf16le") return TextEncoding::Utf16Le;
  if (name == "utf16bombe") return TextEncoding::Utf16BomBe;
  if (name == "utf16bomle") return TextEncoding::Utf16BomLe;
  qFatal("unknown encoding %s", qPrintable(name));
}

// One read of a script, "kind [argument...]"; the element is named after the kind.
void perform(FieldReader& f, const QString& command) {
  const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  const QString kind = words.value(0);
  const std::string name = kind.toStdString();
  const qint64 n = words.value(1).toLongLong();
  const int bits = int(n);
  if (kind == "skip") f.skipBits(n);
  else if (kind == "rbsp") f.startRbsp();
  else if (kind == "u") f.u(name, bits);
  else if (kind == "s") f.s(name, bits);
  else if (kind == "ue") f.ue(name);
  else if (kind == "se") f.se(name);
  else if (kind == "leb128") f.leb128(name);
  else if (kind == "ule") f.ule(name, bits);
  else if (kind == "sle") f.sle(name, bits);
  else if (kind == "id") f.ebmlId(name, words.size() > 1 ? bits : 4);
  else if (kind == "size") f.ebmlSize(name, words.size() > 1 ? bits : 8);
  else if (kind == "syncsafe") f.syncSafe(name, bits);
  else if (kind == "floatbe") f.floatBe(name, bits);
  else if (kind == "floatle") f.floatLe(name, bits);
  else if (kind == "bcd") f.bcd(name, bits);
  else if (kind == "fixed") f.fixedString(name, n, encodingNamed(words.value(2)));
  else if (kind == "zstring") f.terminatedString(name, encodingNamed(words.value(1)));
  else if (kind == "date1904") f.date1904(name, bits);
  else if (kind == "date1970") f.date1970(name, bits);
  else if (kind == "date2001") f.date2001(name, bits);
  else if (kind == "mjd") f.mjdDate(name);
  else qFatal("unknown read %s", qPrintable(kind));
}

// Runs `script` (reads separated by ";") over `bytes` as the range [begin, end) of a file
// (end -1: all of them) and reads back what was written. The bytes are copied to a buffer of
// exactly their size, so that the sanitizer build catches a read past the last one.
Outcome run(const QByteArray& bytes, const QString& script, int begin = 0, int end = -1) {
  const std::vector<uint8_t> file(bytes.begin(), bytes.end());
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  QString error;
  if (!corvanta::ElementDatabase::createSchema(db, true, &error)) qFatal("schema: %s", qPrintable(error));
  Outcome outcome;
  {
    corvanta::ElementWriter writer(db);
    FieldReader f(writer, file.data(), begin, end < 0 ? qint64(file.size()) : end);
    for (const QString& command : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) perform(f, command.trimmed());
    outcome.ok = f.ok();
    outcome.bit_pos = f.bitPos();
    if (!writer.finish()) qFatal("writer: %s", qPrintable(writer.errorString()));
  }
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT d.name, e.\"offset\", e.size, e.raw_value, e.hrf_value FROM elements e "
                     "JOIN dictionary d ON d.id = e.name_id ORDER BY e.id",
                     -1, &statement, nullptr);
  // Raw and readable values must be valid UTF-8: a decoder would hide what is not.
  auto column = [&](int i) {
    const QByteArray text(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
    const QString decoded = QString::fromUtf8(text);
    return decoded.toUtf8() == text ? decoded : QStringLiteral("invalid UTF-8");
  };
  while (sqlite3_step(statement) == SQLITE_ROW) {
    QString element = QStringLiteral("%1 %2+%3 = %4").arg(column(0), column(1), column(2), column(3));
    if (!column(4).isEmpty()) element += QStringLiteral(" (%1)").arg(column(4));
    outcome.elements << element;
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return outcome;
}

void addColumns() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("script");
  QTest::addColumn<QStringList>("expected");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<qint64>("bit_pos");
}

// A row over all of `hex`.
void row(const char* name, const char* hex, const char* script, const QStringList& expected, bool ok,
         qint64 bit_pos) {
  QTest::newRow(name) << QByteArray::fromHex(hex) << QString::fromUtf8(script) << expected << ok << bit_pos;
}

const QStringList kNothing;

}  // namespace

class FieldReaderTest : public QObject {
  Q_OBJECT

  void checkScript() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, script);
    QFETCH(QStringList, expected);
    QFETCH(bool, ok);
    QFETCH(qint64, bit_pos);
    const Outcome outcome = run(bytes, script);
    QCOMPARE(outcome.elements, expected);
    QCOMPARE(outcome.ok, ok);
    QCOMPARE(outcome.bit_pos, bit_pos);
  }

 private Q_SLOTS:
  void bitFields_data() {
    addColumns();
    // 1010 1011 1100 1101: bits 3..12 are 0101111001
    row("u crosses a byte boundary", "ABCD", "skip 3; u 10", {"u 3+10 = 377"}, true, 13);
    // 0000 | 0001 0010 0011 ... 1110 1111 0000 | 1111
    row("u of 64 bits at bit 4", "0123456789ABCDEF0F", "skip 4; u 64", {"u 4+64 = 1311768467463790320"}, true, 68);
    // 1111 1000 0000: two's complement -128
    row("s of 12 bits", "F800", "s 12", {"s 0+12 = -128"}, true, 12);
    row("s of 64 bits", "FFFFFFFFFFFFFFFE", "s 64", {"s 0+64 = -2"}, true, 64);
    // xxx 00101: two zeros, suffix 01, code number 3 + 1
    row("ue at bit 3", "05", "skip 3; ue", {"ue 3+5 = 4"}, true, 8);
    // xxxxxx00 01000xxx: three zeros, suffix 000, code number 7
    row("ue crosses a byte boundary", "0040", "skip 6; ue", {"ue 6+7 = 7"}, true, 13);
    // code number 4 is se -2
    row("se at bit 3", "05", "skip 3; se", {"se 3+5 = -2"}, true, 8);
    // 32 zeros, the stop bit, 32 zero bits of suffix: the largest code there is
    row("ue with 32 leading zeros", "000000008000000000", "ue", {"ue 0+65 = 4294967295"}, true, 65);
    // 33 zeros, then a stop bit: no 32-bit value has such a code
    row("ue with 33 leading zeros fails", "00000000400000000000", "ue; u 8", kNothing, false, 0);
    row("ue without a stop bit fails", "00", "ue", kNothing, false, 0);
    // 1110 0101 1000 1110 0010 0110: 0x65 + 0x0E << 7 + 0x26 << 14
    row("leb128", "E58E26", "leb128", {"leb128 0+24 = 624485"}, true, 24);
    row("leb128 of 8 bytes", "80808080808080 01", "leb128", {"leb128 0+64 = 562949953421312"}, true, 64);
    row("leb128 of 9 bytes fails", "8080808080808080 01", "leb128", kNothing, false, 0);
    // 1010 0101: the second read would need 4 bits more than there are
    row("sticky after a short read", "A5", "u 4; u 8; u 1", {"u 0+4 = 10"}, false, 4);
    row("more than 64 bits fails", "FFFFFFFFFFFFFFFFFF", "u 65; u 1", kNothing, false, 0);
    row("a negative width fails", "FF", "u -1; u 1", kNothing, false, 0);
    row("a negative skip fails", "FF", "skip -8; u 1", kNothing, false, 0);
  }
  void bitFields() { checkScript(); }

  void littleEndian_data() {
    addColumns();
    row("2 bytes", "3412", "ule 2", {"ule 0+16 = 4660"}, true, 16);
    row("3 bytes", "563412", "ule 3", {"ule 0+24 = 1193046"}, true, 24);
    row("8 bytes", "EFCDAB8967452301", "ule 8", {"ule 0+64 = 81985529216486895"}, true, 64);
    row("8 bytes all set", "FFFFFFFFFFFFFFFF", "ule 8", {"ule 0+64 = 18446744073709551615"}, true, 64);
    row("signed 2 bytes", "FEFF", "sle 2", {"sle 0+16 = -2"}, true, 16);
    row("signed 3 bytes", "000080", "sle 3", {"sle 0+24 = -8388608"}, true, 24);
    row("signed 8 bytes", "FFFFFFFFFFFFFFFF", "sle 8", {"sle 0+64 = -1"}, true, 64);
    row("after other fields", "FF2A0001", "u 8; ule 1; ule 2", {"u 0+8 = 255", "ule 8+8 = 42", "ule 16+16 = 256"},
        true, 32);
    row("not byte-aligned fails", "FFFF", "skip 4; ule 1", kNothing, false, 4);
    row("9 bytes fail", "FFFFFFFFFFFFFFFFFF", "ule 9", kNothing, false, 0);
    row("0 bytes fail", "FF", "ule 0", kNothing, false, 0);
    row("past the end fails", "010203", "ule 4", kNothing, false, 0);
    row("sticky at the end", "010203", "ule 2; ule 2; ule 1", {"ule 0+16 = 513"}, false, 16);
  }
  void littleEndian() { checkScript(); }

  void ebml_data() {
    addColumns();
    row("4-byte ID keeps its marker", "1A45DFA3", "id", {"id 0+32 = 0x1A45DFA3"}, true, 32);
    row("1-byte ID", "EC", "id", {"id 0+8 = 0xEC"}, true, 8);
    row("2-byte ID", "4286", "id", {"id 0+16 = 0x4286"}, true, 16);
    // 0000 1000: a 5-byte ID, beyond EBMLMaxIDLength 4 but allowed when the header says 8
    row("5-byte ID over the maximum fails", "0811223344", "id", kNothing, false, 0);
    row("5-byte ID under a maximum of 8", "0811223344", "id 8", {"id 0+40 = 0x0811223344"}, true, 40);
    row("ID then size", "1A45DFA39F", "id; size", {"id 0+32 = 0x1A45DFA3", "size 32+8 = 31"}, true, 40);
    row("1-byte size", "81", "size", {"size 0+8 = 1"}, true, 8);
    row("2-byte size", "4002", "size", {"size 0+16 = 2"}, true, 16);
    row("8-byte size", "0100000000000005", "size", {"size 0+64 = 5"}, true, 64);
    row("1-byte unknown size", "FF", "size", {"size 0+8 = 127 (unknown)"}, true, 8);
    row("2-byte unknown size", "7FFF", "size", {"size 0+16 = 16383 (unknown)"}, true, 16);
    row("8-byte unknown size", "01FFFFFFFFFFFFFF", "size", {"size 0+64 = 72057594037927935 (unknown)"}, true, 64);
    // 127 in two bytes is a plain size: only all value bits set means unknown
    row("127 in 2 bytes is known", "407F", "size", {"size 0+16 = 127"}, true, 16);
    // xxx10000 001xxxxx: the 1-byte code 0x81 at bit 3
    row("size at bit 3", "1020", "skip 3; size", {"size 3+8 = 1"}, true, 11);
    row("leading zero byte fails", "0081", "size; u 8", kNothing, false, 0);
    row("ID with a leading zero byte fails", "00FF", "id", kNothing, false, 0);
    row("size over a maximum of 4 fails", "0800000001", "size 4", kNothing, false, 0);
    row("size past the end fails", "40", "size", kNothing, false, 0);
    row("ID past the end fails", "1A45DF", "id", kNothing, false, 0);
  }
  void ebml() { checkScript(); }

  // What a walker reads without writing: value, width and the unknown-size mark.
  void ebmlReadForms_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("id");
    QTest::addColumn<int>("max_width");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("unknown");
    QTest::newRow("ID") << QByteArray::fromHex("18538067") << true << 4 << quint64(0x18538067) << 4 << false;
    QTest::newRow("size") << QByteArray::fromHex("4123") << false << 8 << quint64(0x123) << 2 << false;
    QTest::newRow("unknown size") << QByteArray::fromHex("01FFFFFFFFFFFFFF") << false << 8
                                  << quint64(0xFFFFFFFFFFFFFF) << 8 << true;
    QTest::newRow("too wide") << QByteArray::fromHex("1000000001") << false << 3 << quint64(0) << 0 << false;
  }
  void ebmlReadForms() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, id);
    QFETCH(int, max_width);
    QFETCH(quint64, value);
    QFETCH(int, width);
    QFETCH(bool, unknown);
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    QString error;
    QVERIFY(corvanta::ElementDatabase::createSchema(db, true, &error));
    {
      corvanta::ElementWriter writer(db);
      const std::vector<uint8_t> file(bytes.begin(), bytes.end());
      FieldReader f(writer, file.data(), 0, qint64(file.size()));
      const corvanta::EbmlVint vint = id ? f.readEbmlId(max_width) : f.readEbmlSize(max_width);
      QCOMPARE(vint.value, value);
      QCOMPARE(vint.width, width);
      QCOMPARE(vint.unknown, unknown);
      QCOMPARE(f.bitPos(), qint64(8 * width));
      QCOMPARE(writer.elementCount(), qint64(0));
      QVERIFY(writer.finish());
    }
    sqlite3_close(db);
  }

  void syncSafeAndBcd_data() {
    addColumns();
    // 0000000 0000000 0000010 0000001
    row("sync-safe 4 bytes", "00000201", "syncsafe 4", {"syncsafe 0+32 = 257"}, true, 32);
    row("sync-safe largest", "7F7F7F7F", "syncsafe 4", {"syncsafe 0+32 = 268435455"}, true, 32);
    row("sync-safe 5 bytes", "017F7F7F7F", "syncsafe 5", {"syncsafe 0+40 = 536870911"}, true, 40);
    // the high bit of the last byte is not part of the value
    row("high bit set", "00000180", "syncsafe 4", {"syncsafe 0+32 = 128 (not sync-safe)"}, true, 32);
    // xxxx0111 1111xxxx
    row("sync-safe at bit 4", "07F0", "skip 4; syncsafe 1", {"syncsafe 4+8 = 127"}, true, 12);
    row("sync-safe of 9 bytes fails", "000000000000000000", "syncsafe 9", kNothing, false, 0);
    row("sync-safe past the end fails", "000001", "syncsafe 4", kNothing, false, 0);
    row("BCD 6 digits", "124500", "bcd 6", {"bcd 0+24 = 124500"}, true, 24);
    row("BCD leading zeros", "0042", "bcd 4", {"bcd 0+16 = 42"}, true, 16);
    // 0000 | 0001 0010 0011 0100 | 0101
    row("BCD at bit 4", "012345", "skip 4; bcd 4", {"bcd 4+16 = 1234"}, true, 20);
    row("BCD 16 digits", "9999999999999999", "bcd 16", {"bcd 0+64 = 9999999999999999"}, true, 64);
    row("BCD digit above 9 is shown", "1A", "bcd 2", {"bcd 0+8 = 1A (invalid BCD digit)"}, true, 8);
    row("BCD of 17 digits fails", "999999999999999999", "bcd 17", kNothing, false, 0);
    row("BCD of no digits fails", "99", "bcd 0", kNothing, false, 0);
    row("BCD past the end fails", "9999", "bcd 6", kNothing, false, 0);
  }
  void syncSafeAndBcd() { checkScript(); }

  void floats_data() {
    addColumns();
    row("1", "3F800000", "floatbe 32", {"floatbe 0+32 = 1"}, true, 32);
    row("pi as binary32", "40490FDB", "floatbe 32", {"floatbe 0+32 = 3.1415927"}, true, 32);
    row("0.1 as binary32", "3DCCCCCD", "floatbe 32", {"floatbe 0+32 = 0.1"}, true, 32);
    // 2^24 + 2: eight digits are needed to read it back
    row("binary32 past 2^24", "4B800001", "floatbe 32", {"floatbe 0+32 = 16777218"}, true, 32);
    row("negative zero", "80000000", "floatbe 32", {"floatbe 0+32 = -0"}, true, 32);
    row("infinity", "7F800000", "floatbe 32", {"floatbe 0+32 = infinity"}, true, 32);
    row("minus infinity", "FF800000", "floatbe 32", {"floatbe 0+32 = -infinity"}, true, 32);
    row("NaN", "7FC00000", "floatbe 32", {"floatbe 0+32 = NaN"}, true, 32);
    row("1 as binary64", "3FF0000000000000", "floatbe 64", {"floatbe 0+64 = 1"}, true, 64);
    row("0.1 as binary64", "3FB999999999999A", "floatbe 64", {"floatbe 0+64 = 0.1"}, true, 64);
    row("pi as binary64", "400921FB54442D18", "floatbe 64", {"floatbe 0+64 = 3.141592653589793"}, true, 64);
    row("little-endian binary32", "0000C03F", "floatle 32", {"floatle 0+32 = 1.5"}, true, 32);
    row("little-endian binary64", "00000000000004C0", "floatle 64", {"floatle 0+64 = -2.5"}, true, 64);
    // xxxx0011 1111 1000 ... 0000xxxx: 0x3F800000 at bit 4
    row("big-endian at bit 4", "03F8000000", "skip 4; floatbe 32", {"floatbe 4+32 = 1"}, true, 36);
    row("little-endian not aligned fails", "03F8000000", "skip 4; floatle 32", kNothing, false, 4);
    row("16 bits fail", "3C00", "floatbe 16", kNothing, false, 0);
    row("binary64 past the end fails", "3FF00000000000", "floatbe 64", kNothing, false, 0);
  }
  void floats() { checkScript(); }

  void strings_data() {
    addColumns();
    row("fixed Latin-1 with padding", "41E9000000", "fixed 5 latin1", {"fixed 0+40 = Aé"}, true, 40);
    row("fixed UTF-8 with a byte order mark", "EFBBBF41", "fixed 4 utf8", {"fixed 0+32 = A"}, true, 32);
    // a surrogate pair: D83D DE00 is U+1F600
    row("fixed UTF-16BE", "0041D83DDE00", "fixed 6 utf16be", {"fixed 0+48 = A😀"}, true, 48);
    row("fixed UTF-16 by its mark", "FFFE4100E900", "fixed 6 utf16bombe", {"fixed 0+48 = Aé"}, true, 48);
    // C0 AF is an overlong '/', ED A0 80 a surrogate; each ill-formed part reads U+FFFD
    row("invalid UTF-8", "C0AF41EDA08042", "fixed 7 utf8", {"fixed 0+56 = ��A���B"}, true, 56);
    row("UTF-8 cut short", "41E282", "fixed 3 utf8", {"fixed 0+24 = A�"}, true, 24);
    row("empty fixed string", "41", "fixed 0 utf8", {"fixed 0+0 = "}, true, 0);
    row("fixed past the end fails", "4142", "fixed 3 latin1", kNothing, false, 0);
    row("negative length fails", "4142", "fixed -1 latin1", kNothing, false, 0);
    row("huge length fails", "4142", "fixed 9223372036854775807 latin1", kNothing, false, 0);
    row("terminated", "41420043", "zstring utf8; zstring utf8",
        {"zstring 0+24 = AB", "zstring 24+8 = C (no terminator)"}, true, 32);
    row("terminated UTF-16 with a mark", "FFFE410000004200", "zstring utf16bombe; ule 2",
        {"zstring 0+48 = A", "ule 48+16 = 66"}, true, 64);
    row("terminated UTF-16 without a mark", "4100000042", "zstring utf16bomle", {"zstring 0+32 = A"}, true, 32);
    row("terminated UTF-16BE", "00410000", "zstring utf16be", {"zstring 0+32 = A"}, true, 32);
    // units 0041 4200 0000: the zero bytes at offsets 1 and 2 are no terminator
    row("UTF-16 terminator is aligned", "410000420000", "zstring utf16le", {"zstring 0+48 = A䈀"}, true, 48);
    row("UTF-16 with half a unit left", "410042", "zstring utf16le", {"zstring 0+24 = A� (no terminator)"}, true,
        24);
    row("empty terminated string", "00", "zstring latin1", {"zstring 0+8 = "}, true, 8);
    row("terminated not aligned fails", "4100", "skip 4; zstring latin1", kNothing, false, 4);
    row("terminated at the end fails", "4100", "zstring latin1; zstring latin1", {"zstring 0+16 = A"}, false, 16);
  }
  void strings() { checkScript(); }

  // The range ends before the terminator that follows it in the file.
  void terminatedStringStopsAtTheRangeEnd() {
    const Outcome outcome = run(QByteArray("ABC\0", 4), "zstring latin1", 0, 3);
    QCOMPARE(outcome.elements, QStringList({"zstring 0+24 = ABC (no terminator)"}));
    const Outcome inner = run(QByteArray("xxAB\0", 5), "zstring latin1; u 8", 2, 4);
    QCOMPARE(inner.elements, QStringList({"zstring 16+16 = AB (no terminator)"}));
    QVERIFY(!inner.ok);
  }

  void dates_data() {
    addColumns();
    row("1904: the Unix epoch", "7C25B080", "date1904 32", {"date1904 0+32 = 2082844800 (1970-01-01 00:00:00 UTC)"},
        true, 32);
    row("1904: 2024", "E1B7B100", "date1904 32", {"date1904 0+32 = 3786912000 (2024-01-01 00:00:00 UTC)"}, true, 32);
    row("1904: not set", "0000000000000000", "date1904 64", {"date1904 0+64 = 0 (not set)"}, true, 64);
    row("1970: largest signed 32-bit", "7FFFFFFF", "date1970 32",
        {"date1970 0+32 = 2147483647 (2038-01-19 03:14:07 UTC)"}, true, 32);
    row("1970: unsigned 32-bit", "FFFFFFFF", "date1970 32", {"date1970 0+32 = 4294967295 (2106-02-07 06:28:15 UTC)"},
        true, 32);
    row("1970: signed 64-bit", "FFFFFFFFFFFFFFFF", "date1970 64", {"date1970 0+64 = -1 (1969-12-31 23:59:59 UTC)"},
        true, 64);
    row("2001: no bytes is the epoch", "", "date2001 0", {"date2001 0+0 = 0 (2001-01-01 00:00:00 UTC)"}, true, 0);
    row("2001: zero", "0000000000000000", "date2001 64", {"date2001 0+64 = 0 (2001-01-01 00:00:00 UTC)"}, true, 64);
    // (1262304000 - 978307200) s in nanoseconds
    row("2001: 2010", "03F0F595BD590000", "date2001 64",
        {"date2001 0+64 = 283996800000000000 (2010-01-01 00:00:00 UTC)"}, true, 64);
    row("2001: one nanosecond before", "FFFFFFFFFFFFFFFF", "date2001 64",
        {"date2001 0+64 = -1 (2000-12-31 23:59:59.999999999 UTC)"}, true, 64);
    row("2001: 4 bytes fail", "00000000", "date2001 32", kNothing, false, 0);
    row("2001: past the end fails", "00000000", "date2001 64", kNothing, false, 0);
    // EN 300 468 annex C: MJD 0xC079 with 12:45:00 is 1993-10-13
    row("MJD", "C079124500", "mjd", {"mjd 0+40 = 0xC079124500 (1993-10-13 12:45:00 UTC)"}, true, 40);
    row("MJD undefined", "FFFFFFFFFF", "mjd", {"mjd 0+40 = 0xFFFFFFFFFF (undefined)"}, true, 40);
    // xxxx1100 0000 0111 ... 0000 | 0000xxxx
    row("MJD at bit 4", "0C07912450 00", "skip 4; mjd", {"mjd 4+40 = 0xC079124500 (1993-10-13 12:45:00 UTC)"}, true,
        44);
    row("MJD past the end fails", "C0791245", "mjd", kNothing, false, 0);
  }
  void dates() { checkScript(); }

  void rbsp_data() {
    addColumns();
    // 00 00 [03] 01: the emulation prevention byte is inside the element, not the value, and the
    // element says so
    const QString covers = QStringLiteral(" (covers an emulation_prevention_three_byte)");
    row("value across a prevention byte", "00000301", "rbsp; u 24", {"u 0+32 = 1" + covers}, true, 32);
    // xxxx0000 00000000 [03] 1111xxxx
    row("bit field across a prevention byte", "000003FF", "rbsp; skip 4; u 16", {"u 4+24 = 15" + covers}, true, 28);
    row("little-endian across a prevention byte", "00000301", "rbsp; ule 3", {"ule 0+32 = 65536" + covers}, true, 32);
    row("fixed string across a prevention byte", "4100000300", "rbsp; fixed 4 latin1", {"fixed 0+40 = A" + covers}, true,
        40);
    // payload 41 00 00 03 00 00: units 0041 0300 (a combining grave accent) and the terminator
    row("terminated string across a prevention byte", "41000003030000", "rbsp; zstring utf16le",
        {"zstring 0+56 = A\xCC\x80" + covers}, true, 56);
    // 00 00 | [03] | 01: between two fields the byte is an element of its own where it stands
    row("prevention byte between fields", "00000301", "rbsp; u 16; u 8",
        {"u 0+16 = 0", "emulation_prevention_three_byte 16+8 = 3", "u 24+8 = 1"}, true, 32);
    row("only payload bits count", "00000301", "rbsp; u 32", kNothing, false, 0);
    // 40 'A', U+0300 (00 03, with a prevention byte after the 00 00), 10 'A', the terminator:
    // longer than the first window searched for the terminator
    const QByteArray a = QByteArray::fromHex("4100");
    QTest::newRow("long string across a prevention byte")
        << a.repeated(40) + QByteArray::fromHex("000303") + a.repeated(10) + QByteArray::fromHex("0000")
        << "rbsp; zstring utf16le"
        << QStringList({"zstring 0+840 = " + QString(40, 'A') + "\u0300" + QString(10, 'A') + covers}) << true
        << qint64(840);
  }
  void rbsp() { checkScript(); }

  // Text forms checked against values known independently of this code.
  void dateTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("MJD example") << QString::fromStdString(corvanta::mjdDateText(0xC079, 0x124500))
                                 << "1993-10-13 12:45:00 UTC";
    QTest::newRow("MJD 51544") << QString::fromStdString(corvanta::mjdDateText(51544, 0)) << "2000-01-01 00:00:00 UTC";
    QTest::newRow("MJD 15020") << QString::fromStdString(corvanta::mjdDateText(15020, 0x235959))
                               << "1900-01-01 23:59:59 UTC";
    QTest::newRow("MJD leap second") << QString::fromStdString(corvanta::mjdDateText(51544, 0x235960))
                                     << "2000-01-01 23:59:60 UTC";
    QTest::newRow("MJD bad BCD") << QString::fromStdString(corvanta::mjdDateText(51544, 0x1A0000))
                                 << "invalid BCD time";
    QTest::newRow("MJD hour 24") << QString::fromStdString(corvanta::mjdDateText(51544, 0x240000)) << "invalid time";
    QTest::newRow("2001 epoch") << QString::fromStdString(corvanta::dateTextSince2001(0)) << "2001-01-01 00:00:00 UTC";
    QTest::newRow("2001 to 1970") << QString::fromStdString(corvanta::dateTextSince2001(-978307200000000000))
                                  << "1970-01-01 00:00:00 UTC";
    QTest::newRow("2001 earliest") << QString::fromStdString(corvanta::dateTextSince2001(INT64_MIN))
                                   << "1708-09-22 00:12:43.145224192 UTC";
    QTest::newRow("1904 epoch") << QString::fromStdString(corvanta::dateTextSince1904(0)) << "1904-01-01 00:00:00 UTC";
    QTest::newRow("1904 leap day") << QString::fromStdString(corvanta::dateTextSince1904(3792009600))
                                   << "2024-02-29 00:00:00 UTC";
    QTest::newRow("1904 too far") << QString::fromStdString(corvanta::dateTextSince1904(UINT64_MAX)) << "out of range";
    QTest::newRow("Unix before 1970") << QString::fromStdString(corvanta::unixDateText(-86401))
                                      << "1969-12-30 23:59:59 UTC";
    QTest::newRow("hex zero") << QString::fromStdString(corvanta::hexText(0, 0)) << "0x0";
    QTest::newRow("hex padded") << QString::fromStdString(corvanta::hexText(0xAB, 4)) << "0x00AB";
    QTest::newRow("hex wider than asked") << QString::fromStdString(corvanta::hexText(0x1A45DFA3, 2)) << "0x1A45DFA3";
    QTest::newRow("hex all bits") << QString::fromStdString(corvanta::hexText(UINT64_MAX, 1)) << "0xFFFFFFFFFFFFFFFF";
    QTest::newRow("hex 20 digits") << QString::fromStdString(corvanta::hexText(1, 20)) << "0x00000000000000000001";
  }
  void dateTexts() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
  }

  void unicodeTexts_data() {
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Latin-1 high half") << "latin1" << QByteArray::fromHex("E9FF") << "éÿ";
    QTest::newRow("UTF-8 valid") << "utf8" << QByteArray::fromHex("E282ACF09F9880") << "€😀";
    // F4 90: past U+10FFFF; E0 80: overlong; FF: never in UTF-8
    QTest::newRow("UTF-8 past U+10FFFF") << "utf8" << QByteArray::fromHex("F4908080") << "����";
    QTest::newRow("UTF-8 overlong three bytes") << "utf8" << QByteArray::fromHex("E080AF41") << "���A";
    QTest::newRow("UTF-8 surrogate") << "utf8" << QByteArray::fromHex("EDA080EDBFBF") << "������";
    QTest::newRow("UTF-8 stray bytes") << "utf8" << QByteArray::fromHex("FF80") << "��";
    QTest::newRow("UTF-8 cut in two places") << "utf8" << QByteArray::fromHex("E28241F09F98") << "�A�";
    QTest::newRow("UTF-8 control characters kept") << "utf8" << QByteArray::fromHex("0A09") << "\n\t";
    QTest::newRow("UTF-16BE") << "utf16be" << QByteArray::fromHex("00E920AC") << "é€";
    QTest::newRow("UTF-16LE") << "utf16le" << QByteArray::fromHex("E900AC20") << "é€";
    QTest::newRow("UTF-16LE pair") << "utf16le" << QByteArray::fromHex("3DD800DE") << "😀";
    QTest::newRow("UTF-16 lone high surrogate") << "utf16be" << QByteArray::fromHex("D83D0041") << "�A";
    QTest::newRow("UTF-16 lone low surrogate") << "utf16be" << QByteArray::fromHex("DE000041") << "�A";
    QTest::newRow("UTF-16 high surrogate at the end") << "utf16be" << QByteArray::fromHex("0041D83D") << "A�";
  }
  void unicodeTexts() {
    QFETCH(QString, encoding);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const std::string text = encoding == "latin1" ? corvanta::latin1Text(data, bytes.size())
                             : encoding == "utf8" ? corvanta::utf8Text(data, bytes.size())
                                                  : corvanta::utf16Text(data, bytes.size(), encoding == "utf16be");
    QCOMPARE(QString::fromStdString(text), expected);
    // valid UTF-8 survives a round trip through UTF-16 unchanged; QString would hide the rest
    QCOMPARE(QString::fromStdString(text).toStdString(), text);
  }

  void floatTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole number") << QString::fromStdString(corvanta::floatText(48000.0)) << "48000";
    QTest::newRow("large") << QString::fromStdString(corvanta::floatText(1e21)) << "1e+21";
    QTest::newRow("binary32 1/3") << QString::fromStdString(corvanta::floatText(1.0f / 3.0f)) << "0.33333334";
    QTest::newRow("binary64 1/3") << QString::fromStdString(corvanta::floatText(1.0 / 3.0)) << "0.3333333333333333";
    QTest::newRow("23.976 as binary32") << QString::fromStdString(corvanta::floatText(23.976f)) << "23.976";
  }
  void floatTexts() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
  }
};

CORVANTA_TEST_CORE_MAIN(FieldReaderTest)
#include "FieldReaderTest.moc"
