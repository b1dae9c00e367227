// Reading a structure that the file spreads over several carriers: a decoder runs over a copy of
// its bytes once per carrier, and the piece writer keeps, at its file position, only what lies in
// that carrier's piece. Besides, sub-readers over a length a field gives, and the text forms and
// checksum the transport stream module added to the core.
#include "Checksums.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "PieceWriter.h"
#include "TestSupport.h"
#include "TextForms.h"

#include <sqlite3.h>

#include <functional>
#include <vector>

using corvanta::FieldReader;
using corvanta::FieldUnit;
using corvanta::Piece;
using corvanta::PieceWriter;

namespace {

// Runs `write(writer)` into a fresh database and returns its elements as
// "level name offset+size = raw [hrf]", offsets and sizes in bits.
QStringList written(const std::function<void(corvanta::ElementWriter&)>& write) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  QString error;
  if (!corvanta::ElementDatabase::createSchema(db, true, &error)) qFatal("schema: %s", qPrintable(error));
  {
    corvanta::ElementWriter writer(db);
    write(writer);
    if (!writer.finish()) qFatal("writer: %s", qPrintable(writer.errorString()));
  }
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT e.level, d.name, e.\"offset\", e.size, e.raw_value, e.hrf_value FROM elements e "
                     "JOIN dictionary d ON d.id = e.name_id ORDER BY e.id",
                     -1, &statement, nullptr);
  QStringList out;
  auto text = [&](int i) { return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, i))); };
  while (sqlite3_step(statement) == SQLITE_ROW) {
    QString line = QStringLiteral("%1 %2 %3+%4").arg(text(0), text(1), text(2), text(3));
    if (!text(4).isEmpty()) line += QStringLiteral(" = ") + text(4);
    if (!text(5).isEmpty()) line += QStringLiteral(" [%1]").arg(text(5));
    out << line;
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return out;
}

// A structure of ten bytes: a (16 bits), b (16), a unit "inner" of c (24) and d (8), e (16).
void decodeStructure(FieldReader& f) {
  FieldUnit outer(f, "structure");
  f.u("a", 16);
  f.u("b", 16);
  {
    FieldUnit inner(f, "inner");
    f.u("c", 24);
    f.u("d", 8);
    inner.setSummary("inner summary");
  }
  f.u("e", 16);
  outer.setSummary("whole");
}

}  // namespace

class PieceWriterTest : public QObject {
  Q_OBJECT

 private slots:
  // Ten bytes in three carriers: bytes 0-2 at file byte 100, 3-6 at 200, 7-9 at 300. Each carrier
  // is a unit of its own, the structure decoded once inside each.
  void piecesInTheirCarriers() {
    const std::vector<uint8_t> copy = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    const std::vector<Piece> pieces = {{0, 3, 100}, {3, 7, 200}, {7, 10, 300}};
    const QStringList elements = written([&](corvanta::ElementWriter& w) {
      for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        w.openUnit("carrier", piece.file_begin * 8, (piece.copy_end - piece.copy_begin) * 8);
        PieceWriter piece_writer(w, piece, i + 1 == pieces.size());
        FieldReader f(w, copy.data(), 0, int64_t(copy.size()));
        f.setPieceWriter(&piece_writer);
        decodeStructure(f);
        w.closeUnit();
      }
    });
    const QStringList expected = {
        "0 carrier 800+24",
        "1 structure 800+24 = whole [continues in the next packet]",
        "2 a 800+16 = 1",
        "2 b 816+8 = 515 [continues in the next packet]",  // 0x0203: its first byte here
        "0 carrier 1600+32",
        "1 structure 1600+32 = whole [continued from an earlier packet, continues in the next packet]",
        "2 b 1600+8 = 515 [continued from an earlier packet]",
        "2 inner 1608+24 = inner summary [continues in the next packet]",
        "3 c 1608+24 = 263430",  // 0x040506
        "0 carrier 2400+24",
        "1 structure 2400+24 = whole [continued from an earlier packet]",
        "2 inner 2400+8 = inner summary [continued from an earlier packet]",
        "3 d 2400+8 = 7",
        "2 e 2408+16 = 2057",  // 0x0809
    };
    QCOMPARE(elements, expected);
  }

  // A unit with nothing in a piece does not appear in it; one that ends exactly where the piece
  // does is not continued.
  void unitsOnlyWhereTheyHaveBits() {
    const std::vector<uint8_t> copy = {1, 2, 3, 4};
    const std::vector<Piece> pieces = {{0, 2, 10}, {2, 4, 20}};
    const QStringList elements = written([&](corvanta::ElementWriter& w) {
      for (size_t i = 0; i < pieces.size(); ++i) {
        w.openUnit("carrier", pieces[i].file_begin * 8, 16);
        PieceWriter piece_writer(w, pieces[i], i + 1 == pieces.size(), "page");
        FieldReader f(w, copy.data(), 0, 4);
        f.setPieceWriter(&piece_writer);
        {
          FieldUnit first(f, "first");
          f.u("x", 16);
        }
        {
          FieldUnit second(f, "second");
          f.u("y", 16);
        }
        w.closeUnit();
      }
    });
    QCOMPARE(elements, QStringList({"0 carrier 80+16", "1 first 80+16", "2 x 80+16 = 258", "0 carrier 160+16",
                                    "1 second 160+16", "2 y 160+16 = 772"}));
  }

  // A sub-reader ends where its length says or where its parent does; its failure stays its own.
  void subReaders() {
    const std::vector<uint8_t> bytes = {0x12, 0x34, 0x56, 0x78, 0x9A};
    bool parent_ok = false, inner_ok = true;
    int64_t parent_at = 0;
    const QStringList elements = written([&](corvanta::ElementWriter& w) {
      FieldReader f(w, bytes.data(), 0, 5);
      f.u("length", 8);
      FieldReader inner = f.sub(2);
      inner.u("inside", 8);
      inner.u("past", 16);  // fails: one byte left in the sub-reader
      inner_ok = inner.ok();
      f.skipPast(inner);
      f.u("after", 8);
      FieldReader beyond = f.sub(100);  // clamped to the one byte left
      beyond.rest("rest");
      f.skipPast(beyond);
      parent_ok = f.ok();
      parent_at = f.bitPos();
    });
    QCOMPARE(elements, QStringList({"0 length 0+8 = 18", "0 inside 8+8 = 52", "0 after 24+8 = 120", "0 rest 32+8 = 9A [1 bytes]"}));
    QVERIFY(!inner_ok);
    QVERIFY(parent_ok);
    QCOMPARE(parent_at, qint64(40));
  }

  void appendSeconds_data() {
    QTest::addColumn<qint64>("ticks");
    QTest::addColumn<uint>("rate");
    QTest::addColumn<QString>("text");
    QTest::newRow("90 kHz") << qint64(126000) << 90000u << "1.400000 s";
    QTest::newRow("rounded up") << qint64(2) << 3u << "0.666667 s";
    QTest::newRow("rounded into the next second") << qint64(26999999) << 27000000u << "1.000000 s";
    QTest::newRow("negative") << qint64(-45000) << 90000u << "-0.500000 s";
    QTest::newRow("the largest 27 MHz PCR") << qint64(2576980377599) << 27000000u << "95443.717689 s";
    QTest::newRow("no rate") << qint64(5) << 0u << "no timescale";
  }

  void appendSeconds() {
    QFETCH(qint64, ticks);
    QFETCH(uint, rate);
    QFETCH(QString, text);
    std::string out = "at ";
    corvanta::appendSeconds(out, ticks, rate);
    QCOMPARE(QString::fromStdString(out), QStringLiteral("at ") + text);
  }

  void appendNumbers() {
    std::string out;
    corvanta::appendNumber(out, 18446744073709551615ull);
    out += ' ';
    corvanta::appendSigned(out, -42);
    out += ' ';
    corvanta::appendHex(out, 0x1ABC, 4);
    out += ' ';
    corvanta::appendHex(out, 0x1F, 4);
    out += ' ';
    corvanta::appendHex(out, 0, 2);
    QCOMPARE(QString::fromStdString(out), QStringLiteral("18446744073709551615 -42 0x1ABC 0x001F 0x00"));
  }

  void charsetText_data() {
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ISO 6937 diacritic") << QByteArray("ISO_6937") << QByteArray::fromHex("C265") << "é";
    QTest::newRow("ISO 8859-5") << QByteArray("ISO-8859-5") << QByteArray::fromHex("B0B1") << "АБ";
    QTest::newRow("an invalid byte in the middle") << QByteArray("UTF-8") << QByteArray::fromHex("41FF42") << "A\uFFFDB";
    QTest::newRow("cut in a sequence") << QByteArray("BIG5") << QByteArray::fromHex("41A4") << "A\uFFFD";
    QTest::newRow("an unknown set reads as Latin-1") << QByteArray("NO-SUCH-SET") << QByteArray::fromHex("41E9") << "Aé";
  }

  void charsetText() {
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const std::string out =
        corvanta::charsetText(charset.constData(), reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    QCOMPARE(QString::fromStdString(out), text);
  }

  // The check value of CRC-32/MPEG-2, and the zero a section with its own CRC_32 gives.
  void crc32Mpeg2() {
    const QByteArray check("123456789");
    QCOMPARE(corvanta::crc32Mpeg2(reinterpret_cast<const uint8_t*>(check.constData()), check.size()), 0x0376E6E7u);
    // A PAT: table 0, length 13, transport_stream_id 1, version 0, program 1 on PID 0x1000.
    const QByteArray pat = QByteArray::fromHex("00B00D0001C100000001F0002AB104B2");
    QCOMPARE(corvanta::crc32Mpeg2(reinterpret_cast<const uint8_t*>(pat.constData()), pat.size()), 0u);
  }
};

CORVANTA_TEST_CORE_MAIN(PieceWriterTest)
#include "PieceWriterTest.moc"
