// PES packet headers as any carrier hands them over: every optional field of the MPEG-2 syntax,
// the MPEG-1 syntax of system streams, stream_ids without the optional header, headers cut short
// or whose flags promise more than PES_header_data_length holds, and the length a carrier must
// gather before it can decode a header.
#include "BitsText.h"
#include "CodecTestSupport.h"
#include "TestSupport.h"
#include "codecs/PesHeader.h"

using namespace codectest;
using namespace corvanta::codecs;

namespace {

// "name offset+size = raw [hrf]" of every element, offsets and sizes as bytes[:bits].
QStringList lines(const Decoded& decoded) {
  QStringList out;
  for (const Element& e : decoded.elements) {
    QString line = QStringLiteral("%1 %2+%3 =").arg(e.name, corvanta::bitsText(e.offset), corvanta::bitsText(e.size));
    if (!e.raw.isEmpty()) line += QLatin1Char(' ') + e.raw;
    if (!e.hrf.isEmpty()) line += QStringLiteral(" [%1]").arg(e.hrf);
    out << line;
  }
  return out;
}

}  // namespace

class PesHeaderTest : public QObject {
  Q_OBJECT

 private slots:
  void headers_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("mpeg1");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QStringList>("some");  // elements that must be among those written
    // 000001 E0 0000 | 10 00 0 1 0 0 | 11 000000 | 0x0A |
    // 0011 000 1 000000000000011 1 110110000110000 1 (PTS 126000) |
    // 0001 000 1 000000000000011 1 101010011000000 1 (DTS 120000)
    QTest::newRow("PTS and DTS") << QByteArray::fromHex("000001E0000084C00A310007D861110007A981") << false
                                 << "stream 0xE0, PTS 1.400000 s, DTS 1.333333 s" << true
                                 << QStringList({"stream_id 3+1 = 0xE0 [video stream 0]",
                                                 "PES_packet_length 4+2 = 0 [not specified]",
                                                 "data_alignment_indicator 6:5+0:1 = 1 [aligned]",
                                                 "PTS_DTS_flags 7+0:2 = 3 [PTS and DTS]",
                                                 "PTS 9+5 = 126000 [1.400000 s]", "'0011' 9+0:4 = 3",
                                                 "PTS[29..15] 10+1:7 = 3", "PTS[14..0] 12+1:7 = 27696",
                                                 "DTS 14+5 = 120000 [1.333333 s]", "'0001' 14+0:4 = 1"});
    // private_stream_1 | '10' ... | PTS only, ESCR, ES_rate, DSM trick mode, additional copy info,
    // CRC, extension: 10 1 1 1 1 1 1 | 47 bytes of header data:
    //   PTS 126000 | 11 000 1 000000000000010 1 101111110010000 1 010010110 1 (ESCR base 90000, ext 150) |
    //   1 000000000000010010110000 1 (ES_rate 1200) | 000 10 1 01 (fast forward, frame, refresh, 01) |
    //   1 0010101 (copy info 21) | BEEF | 1 1 1 1 111 1 (every extension flag) | 16 private bytes |
    //   pack_field_length 0 | 1 0000101 1 1 000011 (sequence counter 5, MPEG-1, stuffing 3) |
    //   01 1 0000000110000 (P-STD scale 1, size 48) | 1 0000110 (extension field length 6) |
    //   1 111111 0 | 1111 000 1 000000000000010 1 010001101000101 1 (TREF 0x12345)
    QTest::newRow("every optional field")
        << QByteArray::fromHex("000001BD000080BF2F210007D861C40016FC852D8009611595BEEFFF000102030405060708090A0B0C0D0E0F"
                               "0085C3603086FEF10005468B")
        << false << "stream 0xBD, PTS 1.400000 s" << true
        << QStringList({"stream_id 3+1 = 0xBD [private_stream_1]", "ESCR 14+6 = 27000150 [1.000006 s]",
                        "ESCR_extension 18:6+1:1 = 150", "ES_rate 20:1+2:6 = 1200 [60000 bytes/s]",
                        "trick_mode_control 23+0:3 = 0 [fast forward]", "field_id 23:3+0:2 = 2 [complete frame]",
                        "frequency_truncation 23:6+0:2 = 1", "additional_copy_info 24:1+0:7 = 21",
                        "previous_PES_packet_CRC 25+2 = 48879",
                        "PES_private_data 28+16 = 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F [16 bytes]",
                        "pack_field_length 44+1 = 0", "program_packet_sequence_counter 45:1+0:7 = 5",
                        "MPEG1_MPEG2_identifier 46:1+0:1 = 1 [MPEG-1]", "original_stuff_length 46:2+0:6 = 3",
                        "P-STD_buffer_size 47:3+1:5 = 48 [49152 bytes]", "PES_extension_field_length 49:1+0:7 = 6",
                        "stream_id_extension_flag 50+0:1 = 1", "tref_extension_flag 50:7+0:1 = 0",
                        "TREF 51:4+4:4 = 74565 [0.828500 s]"});
    // audio stream 0, 15 bytes | FF FF (stuffing) | 01 1 0000000100000 (STD scale 1, size 32) |
    // 0010 000 1 000000000000010 1 010111110010000 1 (PTS 90000) | "data"
    QTest::newRow("MPEG-1") << QByteArray::fromHex("000001C0000FFFFF6020210005BF2164617461") << true
                            << "stream 0xC0, PTS 1.000000 s" << true
                            << QStringList({"stuffing_byte 6+2 = FF FF [2 bytes]", "'01' 8+0:2 = 1",
                                            "STD_buffer_size 8:3+1:5 = 32 [32768 bytes]",
                                            "PTS 10+5 = 90000 [1.000000 s]"});
    QTest::newRow("MPEG-2 read where MPEG-1 is allowed")
        << QByteArray::fromHex("000001E0000084C00A310007D861110007A981") << true
        << "stream 0xE0, PTS 1.400000 s, DTS 1.333333 s" << true << QStringList({"'10' 6+0:2 = 2"});
    // padding_stream: data right after PES_packet_length
    QTest::newRow("padding stream") << QByteArray::fromHex("000001BE0004FFFFFFFF") << false << "stream 0xBE" << true
                                    << QStringList({"stream_id 3+1 = 0xBE [padding_stream]",
                                                    "PES_packet_length 4+2 = 4 [4 bytes follow]"});
    // PTS and DTS flagged, but PES_header_data_length 5 holds only the PTS
    QTest::newRow("flags promise more than the header holds")
        << QByteArray::fromHex("000001E0000080C005310007D861") << false << "stream 0xE0, PTS 1.400000 s" << false
        << QStringList({"PES_header_data_length 8+1 = 5", "PTS 9+5 = 126000 [1.400000 s]"});
    QTest::newRow("cut after the first flags") << QByteArray::fromHex("000001E0000080") << false << "stream 0xE0"
                                               << false << QStringList({"'10' 6+0:2 = 2"});
    QTest::newRow("no start code") << QByteArray::fromHex("000002E0000080") << false << "stream 0xE0" << false
                                   << QStringList({"packet_start_code_prefix 0+3 = 0x000002 [not a start code]"});
  }

  void headers() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, mpeg1);
    QFETCH(QString, summary);
    QFETCH(bool, complete);
    QFETCH(QStringList, some);
    bool read_all = false;
    const Decoded decoded = decodeBytes(bytes, [&](corvanta::FieldReader& f) {
      const PesHeaderInfo info = pesHeader(f, mpeg1);
      read_all = info.complete;
      return pesHeaderSummary(info);
    });
    QVERIFY2(decoded.report.ok(), qPrintable(decoded.report.summary()));
    QCOMPARE(QString::fromStdString(decoded.summary), summary);
    QCOMPARE(read_all, complete);
    const QStringList all = lines(decoded);
    for (const QString& line : some) QVERIFY2(all.contains(line), qPrintable(line + QStringLiteral("\nnot in\n") + all.join('\n')));
  }

  // How many bytes a carrier must gather: the answer grows as more bytes are known.
  void headerLength_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("mpeg1");
    QTest::addColumn<qint64>("length");
    QTest::newRow("nothing yet") << QByteArray() << false << qint64(6);
    QTest::newRow("two bytes of the prefix") << QByteArray::fromHex("0000") << false << qint64(6);
    QTest::newRow("not a start code") << QByteArray::fromHex("000002") << false << qint64(0);
    QTest::newRow("up to PES_packet_length") << QByteArray::fromHex("000001E00000") << false << qint64(7);
    QTest::newRow("before PES_header_data_length") << QByteArray::fromHex("000001E0000080C0") << false << qint64(9);
    QTest::newRow("MPEG-2, 10 bytes of header data") << QByteArray::fromHex("000001E0000084C00A") << false << qint64(19);
    QTest::newRow("padding stream") << QByteArray::fromHex("000001BE0004") << false << qint64(6);
    QTest::newRow("MPEG-1 stuffing, STD buffer, PTS") << QByteArray::fromHex("000001C0000FFFFF602021") << true << qint64(15);
    QTest::newRow("MPEG-1 within its stuffing") << QByteArray::fromHex("000001C0000FFFFF") << true << qint64(9);
    QTest::newRow("MPEG-1 without time stamps") << QByteArray::fromHex("000001C0000F0F") << true << qint64(7);
  }

  void headerLength() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, mpeg1);
    QFETCH(qint64, length);
    QCOMPARE(pesHeaderLength(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size(), mpeg1), length);
  }
};

CORVANTA_TEST_CORE_MAIN(PesHeaderTest)
#include "PesHeaderTest.moc"
