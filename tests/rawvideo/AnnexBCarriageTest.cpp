// NAL units of a byte stream carried in pieces (transport packets, PES packets), in a hand-built
// stream whose start codes and units cross the carriers' edges: each piece under its carrier,
// each field in the piece that holds its bits, positions in the file around the carriers' headers.
#include "../codecs/CodecTestSupport.h"
#include "TestSupport.h"
#include "codecs/AnnexBCarriage.h"

#include <algorithm>

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

// The bits of a hand-made H.264 NAL unit: fixed-width fields and Exp-Golomb codes, then the
// RBSP trailing bits. The values used here never make an emulation prevention byte necessary.
class NalBits {
 public:
  explicit NalBits(uint8_t header) { u(header, 8); }
  NalBits& u(uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) bit.push_back((value >> i) & 1);
    return *this;
  }
  NalBits& ue(uint64_t value) {
    int length = 0;
    while ((value + 1) >> (length + 1)) ++length;
    u(0, length);
    return u(value + 1, length + 1);
  }
  NalBits& se(int64_t value) { return ue(value > 0 ? uint64_t(2 * value - 1) : uint64_t(-2 * value)); }
  // With its start code.
  QByteArray bytes() const {
    std::vector<bool> all = bit;
    all.push_back(true);
    while (all.size() % 8) all.push_back(false);
    QByteArray out = QByteArray::fromHex("00000001");
    for (size_t i = 0; i < all.size(); i += 8) {
      int byte = 0;
      for (size_t b = 0; b < 8; ++b) byte = (byte << 1) | int(all[i + b]);
      out += char(byte);
    }
    return out;
  }

 private:
  std::vector<bool> bit;
};

// Baseline SPS `id`: 64x48, POC type 2, no VUI.
QByteArray sps(uint64_t id) {
  return NalBits(0x67).u(66, 8).u(0, 8).u(30, 8).ue(id).ue(0).ue(2).ue(1).u(0, 1).ue(3).ue(2).u(1, 1).u(1, 1).u(0, 1).u(0, 1).bytes();
}

// PPS `id` of SPS 0, told apart by its chroma_qp_index_offset.
QByteArray pps(uint64_t id, int chroma_qp_offset) {
  return NalBits(0x68).ue(id).ue(0).u(0, 1).u(0, 1).ue(0).ue(0).ue(0).u(0, 1).u(0, 2).se(0).se(0).se(chroma_qp_offset)
      .u(1, 1).u(0, 1).u(0, 1).bytes();
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

  // Saved states share one copy of the decoder while its parameter sets repeat; a stream that
  // keeps changing them gets copies only up to its share, then states without one.
  void decoderCopiesAreSharedAndBounded() {
    // Carrier 0: every SPS and PPS id, the largest state an H.264 stream can hold. Carrier 1:
    // the last PPS again. Then carriers that each change PPS 0.
    QByteArray file;
    std::vector<std::pair<qint64, qint64>> carriers;
    QByteArray all;
    for (uint64_t id = 0; id <= 31; ++id) all += sps(id);
    for (uint64_t id = 0; id <= 255; ++id) all += pps(id, 0);
    const QByteArray changes[] = {pps(0, 1), pps(0, 2)};
    for (const QByteArray& payload : {all, pps(255, 0)}) {
      carriers.emplace_back(file.size(), file.size() + payload.size());
      file += payload;
    }
    constexpr int kChanges = 120;
    for (int i = 0; i < kChanges; ++i) {
      carriers.emplace_back(file.size(), file.size() + changes[i % 2].size());
      file += changes[i % 2];
    }
    std::vector<corvanta::codecs::AnnexBCarriageState> saved;
    const Decoded d = decodeBytes(file, [&](corvanta::FieldReader& f) {
      corvanta::codecs::AnnexBCarriage stream(false, "carrier");
      const auto none = [](int64_t&, int64_t&) { return false; };
      for (const auto& [begin, end] : carriers) {
        stream.writePayload(f.writer(), f.fileData(), begin, end, true, none);
        saved.push_back(stream.save());
      }
      return std::string();
    });
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    QCOMPARE(saved.size(), carriers.size());
    QVERIFY(saved[0].decoder);
    QCOMPARE(saved[1].decoder, saved[0].decoder);  // the repeated PPS changed nothing
    const auto first_without = std::find_if(saved.begin(), saved.end(), [](const auto& state) { return !state.decoder; });
    QVERIFY(first_without != saved.end());
    // About a megabyte of copies of some 40 KB each, every one its own.
    QVERIFY(first_without - saved.begin() > 10);
    for (auto state = saved.begin() + 2; state != first_without; ++state) QVERIFY(state->decoder != (state - 1)->decoder);
  }
};

CORVANTA_TEST_CORE_MAIN(AnnexBCarriageTest)
#include "AnnexBCarriageTest.moc"
