// NAL units of a byte stream carried in pieces (transport packets, PES packets), in a hand-built
// stream whose start codes and units cross the carriers' edges: each piece under its carrier,
// each field in the piece that holds its bits, positions in the file around the carriers' headers.
#include "../codecs/CodecTestSupport.h"
#include "TestSupport.h"
#include "codecs/AnnexBCarriage.h"

using namespace codectest;

namespace {

// Three carriers, each a two-byte header ("HH") before its payload. The stream:
//   00 00 00 01 09 F0            access unit delimiter (primary_pic_type 7, stop bit)
//   00 00 01 0C FF FF FF FF FF 80  filler data
//   00 00 01 0B                  end of stream
// cut as  [00 00 00 01 09 F0 00 00] [01 0C FF FF FF] [FF FF 80 00 00 01 0B]: the filler's start
// code begins in the first carrier and ends in the second, the filler ends in the third.
const QByteArray kHeader("HH");
const QByteArray kPayloads[] = {QByteArray::fromHex("0000000109F00000"), QByteArray::fromHex("010CFFFFFF"),
                                QByteArray::fromHex("FFFF800000010B")};

struct Carrier {
  qint64 begin, payload_begin, end;  // file bytes
};

std::vector<Carrier> layout(QByteArray& file) {
  std::vector<Carrier> carriers;
  for (const QByteArray& payload : kPayloads) {
    const qint64 begin = file.size();
    file += kHeader + payload;
    carriers.push_back({begin, begin + kHeader.size(), file.size()});
  }
  return carriers;
}

QString piece(qint64 seq, qint64 carrier, qint64 offset, qint64 size) {
  return QStringLiteral("NAL unit-%1 in carrier %2 at %3+%4").arg(seq).arg(carrier).arg(offset).arg(size);
}

// The elements of the carriers from `first` on, one line each, when the carriage that writes them
// goes on before carrier `first` from the state another one saved there (or, with `first` 0,
// writes every carrier itself).
QStringList writtenFrom(size_t first) {
  QByteArray file;
  const std::vector<Carrier> carriers = layout(file);
  const Decoded d = decodeBytes(file, [&](corvanta::FieldReader& f) {
    corvanta::ElementWriter& w = f.writer();
    const uint8_t* data = f.fileData();
    auto after = [&carriers](size_t carrier) {
      return [&carriers, next = carrier](int64_t& begin, int64_t& end) mutable {
        if (++next >= carriers.size()) return false;
        begin = carriers[next].payload_begin;
        end = carriers[next].end;
        return true;
      };
    };
    corvanta::codecs::AnnexBCarriage saving(false, "carrier"), going_on(false, "carrier");
    corvanta::codecs::AnnexBCarriage* stream = first == 0 ? &going_on : &saving;
    for (size_t i = 0; i < carriers.size(); ++i) {
      if (i == first && first > 0) {
        const corvanta::codecs::AnnexBCarriageState state = saving.save();
        size_t origin = 0;
        while (origin + 1 < carriers.size() && carriers[origin + 1].begin <= state.gathering_begin) ++origin;
        going_on.restore(state, data, after(origin));
        stream = &going_on;
      }
      const Carrier& c = carriers[i];
      w.openUnit("carrier", c.begin * 8, (c.end - c.begin) * 8, {}, {}, qint64(i));
      stream->writePayload(w, data, c.payload_begin, c.end, true, after(i));
      w.closeUnit();
    }
    return std::string();
  });
  QStringList lines;
  qint64 carrier = -1;
  for (const Element& e : d.elements) {
    if (e.name == QLatin1String("carrier")) carrier = e.seq;
    if (carrier >= qint64(first))
      lines << QStringLiteral("%1-%2 %3+%4 %5 [%6]").arg(e.name).arg(e.seq).arg(e.offset).arg(e.size).arg(e.raw, e.hrf);
  }
  return lines;
}

}  // namespace

class AnnexBCarriageTest : public QObject {
  Q_OBJECT

 private slots:
  void piecesStandUnderTheirCarriers() {
    QByteArray file;
    const std::vector<Carrier> carriers = layout(file);
    const Decoded d = decodeBytes(file, [&](corvanta::FieldReader& f) {
      corvanta::ElementWriter& w = f.writer();
      corvanta::codecs::AnnexBCarriage stream(false, "carrier");
      const uint8_t* data = f.fileData();
      for (size_t i = 0; i < carriers.size(); ++i) {
        const Carrier& c = carriers[i];
        w.openUnit("carrier", c.begin * 8, (c.end - c.begin) * 8, {}, {}, qint64(i));
        w.addField("header", c.begin * 8, kHeader.size() * 8, {}, {});
        size_t next = i;
        auto more = [&](int64_t& begin, int64_t& end) {
          if (++next >= carriers.size()) return false;
          begin = carriers[next].payload_begin;
          end = carriers[next].end;
          return true;
        };
        stream.writePayload(w, data, c.payload_begin, c.end, true, more);
        w.closeUnit();
      }
      return std::string();
    });
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    std::map<qint64, qint64> carrier_of;  // element id -> carrier seq
    QStringList pieces;
    for (const Element& e : d.elements) {
      if (e.name == QLatin1String("carrier")) carrier_of[e.id] = e.seq;
      if (e.name == QLatin1String("NAL unit")) pieces << piece(e.seq, carrier_of[e.parent], e.byteOffset(), e.byteSize());
    }
    const QStringList expected = {piece(0, 0, 2, 6), piece(1, 0, 8, 2), piece(1, 1, 12, 5), piece(1, 2, 19, 3),
                                  piece(2, 2, 22, 4)};
    QCOMPARE(pieces, expected);

    // The filler's start code is cut at the first carrier's edge and keeps its whole value.
    std::vector<const Element*> start_codes;
    for (const Element& e : d.elements)
      if (e.name == QLatin1String("start_code") && e.byteOffset() >= 8 && e.byteOffset() < 19) start_codes.push_back(&e);
    QCOMPARE(start_codes.size(), size_t(2));
    QCOMPARE(start_codes[0]->offset, qint64(8 * 8));
    QCOMPARE(start_codes[0]->size, qint64(16));
    QVERIFY(start_codes[0]->hrf.contains(QLatin1String("continues in the next carrier")));
    QCOMPARE(start_codes[1]->offset, qint64(12 * 8));
    QCOMPARE(start_codes[1]->size, qint64(8));
    QVERIFY(start_codes[1]->hrf.contains(QLatin1String("continued from an earlier carrier")));
    QCOMPARE(start_codes[1]->raw, QStringLiteral("1"));

    // Its header's fields stand in the second carrier, at their file bits.
    const Element* type = nullptr;
    for (const Element& e : d.elements)
      if (e.name == QLatin1String("nal_unit_type") && e.raw == QLatin1String("12")) type = &e;
    QVERIFY(type);
    QCOMPARE(type->offset, qint64(13 * 8 + 3));
    QCOMPARE(type->size, qint64(5));
  }

  // A carriage saved before a carrier and restored into another writes that carrier and the
  // rest as the first would have: before the second carrier the filler is under way (its start
  // code cut at the first carrier's edge), before the third its last piece is still to come.
  void savedStateGoesOnAlike_data() {
    QTest::addColumn<int>("carrier");
    QTest::newRow("filler under way, start code cut") << 1;
    QTest::newRow("filler's last piece to come") << 2;
  }
  void savedStateGoesOnAlike() {
    QFETCH(int, carrier);
    const QStringList straight = writtenFrom(0);
    QStringList expected;
    bool in = false;
    for (const QString& line : straight) {
      if (line.startsWith(QStringLiteral("carrier-%1 ").arg(carrier))) in = true;
      if (in) expected << line;
    }
    QVERIFY(expected.size() > 3);
    QCOMPARE(writtenFrom(size_t(carrier)), expected);
  }
};

CORVANTA_TEST_CORE_MAIN(AnnexBCarriageTest)
#include "AnnexBCarriageTest.moc"
