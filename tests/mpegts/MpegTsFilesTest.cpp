// Files made by real muxers and by the project's own SI multiplexer (tests/data/mpegts/
// make-test-files.sh): the check passes, every packet is where packet arithmetic puts it, every PES
// packet starts where ffprobe found it with the same PTS and DTS, the PMTs list the streams ffprobe
// lists, and broken copies show their damage without losing what is still good.
#include "MpegTsTestSupport.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

using namespace tstest;

namespace {

QString dataPath(const QString& file) { return corvanta::test::dataFile(QStringLiteral("mpegts/") + file); }

int strideOf(const QString& file) {
  if (file.endsWith(QLatin1String(".m2ts"))) return 192;
  return file.contains(QLatin1String("204")) ? 204 : 188;
}

qint64 pidOf(const Parsed& parsed, const Element& packet) {
  const Element* pid = child(parsed, packet, QStringLiteral("PID"));
  return pid ? pid->raw.toLongLong() : -1;
}

// One PES packet: the packet its header starts in, its PTS and DTS (the PTS when it has no DTS).
using PesStart = std::tuple<qint64, qint64, qint64>;
using PerPid = std::map<qint64, std::vector<PesStart>>;

// ffprobe's packets that start a PES packet (those with a position and a PTS), by PID.
PerPid witnessPes(const QString& file) {
  const QJsonObject probe = QJsonDocument::fromJson(readAll(dataPath(file + ".streams.json"))).object();
  std::map<int, qint64> pid_of_stream;
  for (const QJsonValue& stream : probe.value(QStringLiteral("streams")).toArray())
    pid_of_stream[stream.toObject().value(QStringLiteral("index")).toInt()] =
        stream.toObject().value(QStringLiteral("id")).toString().toLongLong(nullptr, 16);
  // ffmpeg reports the position of a 204-byte packet 16 bytes early: it takes the whole
  // packet's size from where it stopped reading, before the parity bytes.
  const qint64 shift = strideOf(file) == 204 ? 16 : 0;
  PerPid out;
  for (const QByteArray& line : readAll(dataPath(file + ".packets")).split('\n')) {
    const QList<QByteArray> parts = line.split(',');  // stream_index, pts, dts, pos
    if (parts.size() < 4 || parts[1] == "N/A" || parts[3] == "N/A") continue;
    out[pid_of_stream.at(parts[0].toInt())].emplace_back(parts[3].toLongLong() + shift, parts[1].toLongLong(),
                                                         parts[2] == "N/A" ? parts[1].toLongLong() : parts[2].toLongLong());
  }
  for (auto& [pid, list] : out) std::sort(list.begin(), list.end());
  return out;
}

// The PES packets the parser found: the packet of each header's first piece, the PTS and DTS of
// the header's pieces.
PerPid parsedPes(const Parsed& parsed) {
  PerPid out;
  std::map<qint64, PesStart*> current;
  for (const Element* packet : packets(parsed)) {
    const qint64 pid = pidOf(parsed, *packet);
    for (const Element* header : parsed.children(packet->id)) {
      if (header->name != QLatin1String("PES_header")) continue;
      if (!header->hrf.contains(QLatin1String("continued from"))) {
        out[pid].emplace_back(packet->byteOffset(), -1, -1);
        current[pid] = &out[pid].back();
      }
      for (const Element* e : descendants(parsed, *header)) {
        if (e->name == QLatin1String("PTS") && current.count(pid)) std::get<1>(*current[pid]) = e->raw.toLongLong();
        if (e->name == QLatin1String("DTS") && current.count(pid)) std::get<2>(*current[pid]) = e->raw.toLongLong();
      }
    }
  }
  for (auto& [pid, list] : out) {
    for (PesStart& pes : list)
      if (std::get<2>(pes) < 0) std::get<2>(pes) = std::get<1>(pes);
    std::sort(list.begin(), list.end());
  }
  return out;
}

QString pesText(const PesStart& pes) {
  return QStringLiteral("at %1, PTS %2, DTS %3").arg(std::get<0>(pes)).arg(std::get<1>(pes)).arg(std::get<2>(pes));
}

// The kind of stream a PID label names, as ffprobe's codec_type calls it.
QString codecTypeOf(const QString& label) {
  if (label.contains(QLatin1String("video"))) return QStringLiteral("video");
  if (label.contains(QLatin1String("audio"))) return QStringLiteral("audio");
  if (label.contains(QLatin1String("subtitles")) || label.contains(QLatin1String("teletext")))
    return QStringLiteral("subtitle");
  return QStringLiteral("data");
}

}  // namespace

class MpegTsFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void muxerFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* file : {"ffmpeg-programs.ts", "ffmpeg.m2ts", "gstreamer.ts", "dvb.ts", "dvb-204.ts", "atsc.ts"})
      QTest::newRow(file) << QString::fromLatin1(file);
  }

  // Every byte in a packet, every packet where the stride puts it, nothing damaged.
  void muxerFiles() {
    QFETCH(QString, file);
    const QString path = dataPath(file);
    const qint64 size = QFileInfo(path).size();
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QCOMPARE(parsed.format, QStringLiteral("mpegts"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, size * 8);
    QCOMPARE(parsed.report.garbage_bits, qint64(0));
    const int stride = strideOf(file);
    const auto top = parsed.children(0);
    QCOMPARE(qint64(top.size()), size / stride);
    for (size_t i = 0; i < top.size(); ++i) {
      const Element& e = *top[i];
      QVERIFY2(e.name == QLatin1String("packet") && e.seq == qint64(i) && e.offset == qint64(i) * stride * 8 &&
                   e.size == stride * 8,
               qPrintable(elementLine(e)));
      const Element* sync = child(parsed, e, QStringLiteral("sync_byte"));
      QVERIFY(sync);
      QCOMPARE(sync->offset, e.offset + (stride == 192 ? 32 : 0));
    }
    for (const Element& e : parsed.elements) {
      for (const char* damage : {"truncated", "incomplete", "mismatch", "expected", "runs past", "run past",
                                 "cut short", "were lost", "not all 0xFF"})
        QVERIFY2(!e.hrf.contains(QLatin1String(damage)) && !e.raw.contains(QLatin1String(damage)),
                 qPrintable(elementLine(e)));
      QVERIFY2(e.name != QLatin1String("extra_data") && e.name != QLatin1String("additional_data"),
               qPrintable(elementLine(e)));
    }
  }

  // Each PES packet starts in the packet ffprobe names, with ffprobe's PTS and DTS.
  void pesPacketsAgreeWithFfprobe_data() { muxerFiles_data(); }
  void pesPacketsAgreeWithFfprobe() {
    QFETCH(QString, file);
    const Parsed parsed = parseFile(dataPath(file));
    const PerPid actual = parsedPes(parsed);
    const PerPid expected = witnessPes(file);
    QVERIFY(!expected.empty());
    std::set<qint64> teletext;
    for (const Element* packet : packets(parsed))
      if (child(parsed, *packet, QStringLiteral("PID"))->hrf.startsWith(QLatin1String("teletext")))
        teletext.insert(pidOf(parsed, *packet));
    for (auto [pid, list] : expected) {
      QVERIFY2(actual.count(pid), qPrintable(QStringLiteral("no PES packet on PID %1").arg(pid)));
      auto found = actual.at(pid);
      // ffmpeg gives teletext packets the time of the last PCR instead of their PTS, since
      // teletext is shown when it arrives: only their positions can be compared.
      if (teletext.count(pid))
        for (auto* pes : {&found, &list})
          for (PesStart& p : *pes) std::get<1>(p) = std::get<2>(p) = -1;
      QVERIFY2(found.size() == list.size(), qPrintable(QStringLiteral("PID %1: %2 PES packets, ffprobe %3")
                                                           .arg(pid).arg(found.size()).arg(list.size())));
      for (size_t i = 0; i < list.size(); ++i)
        QVERIFY2(found[i] == list[i], qPrintable(QStringLiteral("PID %1: %2, ffprobe %3")
                                                     .arg(pid).arg(pesText(found[i]), pesText(list[i]))));
    }
    for (const auto& [pid, list] : actual)
      QVERIFY2(expected.count(pid), qPrintable(QStringLiteral("PES packets on PID %1 that ffprobe does not list").arg(pid)));
  }

  // Each program's PMT lists the streams ffprobe lists, of the same kind, with its PCR PID; the
  // SDT names the services ffprobe names.
  void programsAgreeWithFfprobe_data() { muxerFiles_data(); }
  void programsAgreeWithFfprobe() {
    QFETCH(QString, file);
    const Parsed parsed = parseFile(dataPath(file));
    const QJsonObject probe = QJsonDocument::fromJson(readAll(dataPath(file + ".streams.json"))).object();
    int programs = 0;
    for (const QJsonValue& value : probe.value(QStringLiteral("programs")).toArray()) {
      const QJsonObject program = value.toObject();
      const int number = program.value(QStringLiteral("program_num")).toInt();
      if (number == 0) continue;  // a service the SDT lists without a PMT
      ++programs;
      const Element* pmt = nullptr;
      for (const Element* s : find(parsed, QStringLiteral("TS_program_map_section")))
        if (s->raw.startsWith(QStringLiteral("PMT, program %1,").arg(number))) {
          pmt = s;
          break;
        }
      QVERIFY2(pmt, qPrintable(QStringLiteral("no PMT for program %1").arg(number)));
      const Element* carrier = &parsed.elements[size_t(pmt->parent - 1)];
      QCOMPARE(pidOf(parsed, *carrier), qint64(program.value(QStringLiteral("pmt_pid")).toInt()));
      QCOMPARE(child(parsed, *pmt, QStringLiteral("PCR_PID"))->raw.toInt(), program.value(QStringLiteral("pcr_pid")).toInt());
      std::map<qint64, QString> listed;
      for (const Element* stream : parsed.children(pmt->id))
        if (stream->name == QLatin1String("elementary_stream"))
          listed[child(parsed, *stream, QStringLiteral("elementary_PID"))->raw.toLongLong()] = QString();
      // The kind as the PID field of the stream's packets names it.
      for (const Element* packet : packets(parsed)) {
        const qint64 pid = pidOf(parsed, *packet);
        if (listed.count(pid)) listed[pid] = codecTypeOf(child(parsed, *packet, QStringLiteral("PID"))->hrf);
      }
      std::map<qint64, QString> expected;
      for (const QJsonValue& stream : program.value(QStringLiteral("streams")).toArray())
        expected[stream.toObject().value(QStringLiteral("id")).toString().toLongLong(nullptr, 16)] =
            stream.toObject().value(QStringLiteral("codec_type")).toString();
      QCOMPARE(listed, expected);
      const QString service = program.value(QStringLiteral("tags")).toObject().value(QStringLiteral("service_name")).toString();
      if (!service.isEmpty()) {
        bool named = false;
        for (const Element* s : find(parsed, QStringLiteral("service")))
          named = named || (s->raw == QStringLiteral("service %1 \"%2\"").arg(number).arg(service));
        QVERIFY2(named, qPrintable(QStringLiteral("no SDT service %1 named \"%2\"").arg(number).arg(service)));
      }
    }
    QVERIFY(programs > 0);
  }

  // Values a user reads first, from each muxer: "name raw [hrf]" must be among the file's elements.
  void decodedValues_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("element");
    auto row = [](const char* file, const char* element) {
      QTest::addRow("%s %s", file, element) << QString::fromLatin1(file) << QString::fromUtf8(element);
    };
    row("ffmpeg-programs.ts", "service_name 11 +3 = One");
    row("ffmpeg-programs.ts", "stream_type 0 +1 = 27 [H.264 video]");
    row("ffmpeg-programs.ts", "stream_type 0 +1 = 2 [MPEG-2 video]");
    row("ffmpeg-programs.ts", "stream_type 0 +1 = 3 [MPEG-1 audio]");
    row("ffmpeg.m2ts", "stream_type 0 +1 = 129 [AC-3 audio]");
    row("gstreamer.ts", "format_identifier 2 +4 = Opus");
    row("gstreamer.ts", "PID 1:3 +1:5 = 66 [Opus audio, program 1]");
    // DVB strings in four character tables; the default (ISO/IEC 6937) writes é as 0xC2 'e'.
    row("dvb.ts", "service_name 13 +21 = Corvanta Eins – Ü [UTF-8]");
    row("dvb.ts", "service_name 13 +8 = Радио [ISO/IEC 8859-5]");
    row("dvb.ts", "char 2 +13 = Corvanta Ağı [ISO/IEC 8859-9]");
    row("dvb.ts", "event_name 6 +17 = Café Nachrichten");
    row("dvb.ts", "char 2 +15 = Corvanta Bäume");
    // Times and durations.
    row("dvb.ts", "UTC_time 3 +5 = 0xEC2E200000 [2024-06-01 20:00:00 UTC]");
    row("dvb.ts", "start_time 2 +5 = 0xEC2E195500 [2024-06-01 19:55:00 UTC]");
    row("dvb.ts", "duration 7 +3 = 0x003000 [0:30:00]");
    row("dvb.ts", "local_time_offset 4 +2 = 200 [+2:00]");
    row("dvb.ts", "time_of_change 6 +5 = 0xECC2010000 [2024-10-27 01:00:00 UTC]");
    // Descriptors.
    row("dvb.ts", "centre_frequency 2 +4 = 47400000 [474000000 Hz]");
    row("dvb.ts", "rating 3 +1 = 9 [minimum age 12]");
    row("dvb.ts", "subtitling_type 3 +1 = 16 [DVB subtitles (normal), no aspect ratio]");
    row("dvb.ts", "teletext_page_number 4 +1 = 136 [0x88]");
    row("dvb.ts", "component_type 3 +1 = 3 [16:9 video, 25 Hz]");
    row("dvb.ts", "content_nibble_level_1 0 +0:4 = 2 [News/Current affairs]");
    row("dvb.ts", "maximum_bitrate 2:2 +2:6 = 5000 [2000000 bit/s]");
    row("dvb.ts", "alignment_type 2 +1 = 2 [video access unit]");
    row("dvb.ts", "PCR_PID 8:3 +1:5 = 511 [0x01FF]");
    row("dvb.ts", "PID 1:3 +1:5 = 511 [PCR, program 101]");
    row("dvb.ts", "PID 1:3 +1:5 = 1911 [unreferenced]");
    row("dvb.ts", "PID 1:3 +1:5 = 8191 [null packet]");
    // Adaptation field and PES header fields that muxers rarely write.
    row("dvb.ts", "ltw_offset 2:1 +1:7 = 4660");
    row("dvb.ts", "piecewise_rate 4:2 +2:6 = 9029 [3611600 bit/s]");
    row("dvb.ts", "splice_countdown 14 +1 = 2 [packets of the PID until the splicing point]");
    row("dvb.ts", "ES_rate 14:1 +2:6 = 1200 [60000 bytes/s]");
    row("dvb.ts", "additional_copy_info 17:1 +0:7 = 21");
    row("dvb.ts", "previous_PES_packet_CRC 18 +2 = 48879");
    row("dvb.ts", "P-STD_buffer_size 1:3 +1:5 = 48 [49152 bytes]");
    row("dvb-204.ts", "Reed_Solomon_parity 188 +16");
    // ATSC.
    row("atsc.ts", "system_time 9 +4 = 1401307218 [2024-06-01 20:00:00 UTC]");
    row("atsc.ts", "short_name 0 +14 = CORV");
    row("atsc.ts", "PID 1:3 +1:5 = 7424 [ATSC EIT-0]");
    row("atsc.ts", "caption_service_number 3:2 +0:6 = 1");
    row("atsc.ts", "num_channels 4:3 +0:4 = 1 [1/0]");
  }

  void decodedValues() {
    QFETCH(QString, file);
    QFETCH(QString, element);
    const Parsed parsed = parseFile(dataPath(file));
    // Offsets are relative to the element's parent, so that a row does not depend on where the
    // muxer put the packet.
    const QString name = element.section(QLatin1Char(' '), 0, 0);
    QStringList seen;
    for (const Element* e : find(parsed, name)) {
      Element relative = *e;
      relative.offset -= parsed.elements[size_t(e->parent - 1)].offset;
      relative.seq = -1;
      const QString line = elementLine(relative);
      if (line == element || line.startsWith(element + QLatin1Char(' '))) return;
      if (seen.size() < 5) seen << line;
    }
    QFAIL(qPrintable(QStringLiteral("not found; the first with this name: %1").arg(seen.join(QStringLiteral("; ")))));
  }

  // A section and a PES header that continue in the next packet of their PID: each packet holds
  // its piece, a field split between two packets appears in both at its own bits, and the whole
  // value everywhere.
  void splitUnits() {
    const Parsed parsed = parseFile(dataPath(QStringLiteral("dvb.ts")));
    // The EIT schedule section starts two bytes before the end of a packet: section_length has 4
    // bits there and 8 bits at the start of the next packet of PID 0x0012.
    const auto lengths = find(parsed, QStringLiteral("section_length"), QStringLiteral("999"));
    QVERIFY(lengths.size() >= 2);
    const Element& first = *lengths[0];
    const Element& second = *lengths[1];
    QCOMPARE(first.size, qint64(4));
    QCOMPARE(second.size, qint64(8));
    QVERIFY(first.hrf.contains(QLatin1String("continues in the next packet")));
    QVERIFY(second.hrf.contains(QLatin1String("continued from an earlier packet")));
    const Element& first_packet = parsed.elements[size_t(parsed.elements[size_t(first.parent - 1)].parent - 1)];
    const Element& second_packet = parsed.elements[size_t(parsed.elements[size_t(second.parent - 1)].parent - 1)];
    QCOMPARE(first.offset + first.size, first_packet.offset + first_packet.size);
    QCOMPARE(pidOf(parsed, first_packet), qint64(0x12));
    QCOMPARE(pidOf(parsed, second_packet), qint64(0x12));
    QCOMPARE(second.offset, second_packet.offset + 4 * 8);  // right after the header: no pointer_field
    // Every piece of the section says the same, the last checks the CRC.
    const auto pieces = find(parsed, QStringLiteral("event_information_section"));
    int schedule_pieces = 0;
    for (const Element* piece : pieces)
      if (piece->raw.startsWith(QLatin1String("EIT schedule"))) {
        ++schedule_pieces;
        QCOMPARE(piece->raw, QStringLiteral("EIT schedule, actual, service 101, 8 events, version 0, CRC ok"));
      }
    QVERIFY(schedule_pieces >= 10);

    // The third MPEG-1 audio PES header starts 4 bytes before the end of its packet.
    const auto headers = find(parsed, QStringLiteral("PES_header"));
    const auto split = std::find_if(headers.begin(), headers.end(), [](const Element* e) { return e->size == 32; });
    QVERIFY(split != headers.end());
    QVERIFY((*split)->hrf.contains(QLatin1String("continues in the next packet")));
    const Element& rest = **(split + 1);
    QVERIFY(rest.hrf.contains(QLatin1String("continued from an earlier packet")));
    QCOMPARE(rest.raw, (*split)->raw);
    QVERIFY(child(parsed, rest, QStringLiteral("PTS")));
    QVERIFY(child(parsed, **split, QStringLiteral("packet_start_code_prefix")));
    QVERIFY(child(parsed, **split, QStringLiteral("stream_id")));
    QVERIFY(!child(parsed, **split, QStringLiteral("PES_packet_length")));
    const Element* length = child(parsed, rest, QStringLiteral("PES_packet_length"));
    QVERIFY(length);
    QCOMPARE(length->offset, parsed.elements[size_t(rest.parent - 1)].offset + 4 * 8);
  }

  // Broken copies: still a valid database covering the file, GARBAGE where sync was lost, and the
  // packets after it where packet arithmetic from the new sync point puts them.
  void brokenFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("garbage_at");    // byte offset, -1 for none
    QTest::addColumn<qint64>("garbage_size");
    QTest::addColumn<QString>("summary_note");  // in some packet's summary
    QTest::newRow("truncated") << QStringLiteral("truncated.ts") << qint64(-1) << qint64(0) << QString();
    QTest::newRow("bad sync byte") << QStringLiteral("bad-sync.ts") << qint64(12 * 188) << qint64(188) << QString();
    QTest::newRow("junk inserted") << QStringLiteral("junk.ts") << qint64(21 * 188) << qint64(300) << QString();
    // cut 50 bytes into packet 30, resumed 120 bytes into packet 37: the rest of packet 37 and
    // the continuity counters of every PID that lost packets show it.
    QTest::newRow("cut stretch") << QStringLiteral("cut-stretch.ts") << qint64(30 * 188) << qint64(50 + 68)
                                 << QStringLiteral("(expected");
    QTest::newRow("continuity") << QStringLiteral("continuity.ts") << qint64(-1) << qint64(0)
                                << QStringLiteral("duplicate");
  }

  void brokenFiles() {
    QFETCH(QString, file);
    QFETCH(qint64, garbage_at);
    QFETCH(qint64, garbage_size);
    QFETCH(QString, summary_note);
    const QString path = dataPath(file);
    const qint64 size = QFileInfo(path).size();
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, size * 8);
    const auto garbage = find(parsed, kGarbage);
    if (garbage_at < 0) {
      QCOMPARE(garbage.size(), size_t(0));
    } else {
      QCOMPARE(garbage.size(), size_t(1));
      QCOMPARE(garbage[0]->byteOffset(), garbage_at);
      QCOMPARE(garbage[0]->byteSize(), garbage_size);
    }
    // Packets before the damage at the stride from 0, after it at the stride from its end.
    const qint64 resumed = garbage_at < 0 ? 0 : garbage_at + garbage_size;
    for (const Element* p : packets(parsed)) {
      const qint64 from = p->byteOffset() < resumed ? 0 : resumed;
      QVERIFY2((p->byteOffset() - from) % 188 == 0, qPrintable(elementLine(*p)));
      QCOMPARE(p->raw.contains(QLatin1String("cut short")) || p->byteSize() == 188 || p->byteOffset() + p->byteSize() == size,
               true);
    }
    if (!summary_note.isEmpty()) {
      bool found = false;
      for (const Element* p : packets(parsed)) found = found || p->raw.contains(summary_note);
      QVERIFY2(found, qPrintable(summary_note));
    }
  }

  // The file cut inside a packet: that packet ends at the end of the file and says so, the
  // others are whole.
  void truncatedLastPacket() {
    const QString path = dataPath(QStringLiteral("truncated.ts"));
    const Parsed parsed = parseFile(path);
    const auto all = packets(parsed);
    QCOMPARE(all.size(), size_t(61));
    QCOMPARE(all.back()->byteSize(), qint64(77));
    QVERIFY(all.back()->hrf.contains(QLatin1String("truncated")));
    for (size_t i = 0; i + 1 < all.size(); ++i) QVERIFY(!all[i]->hrf.contains(QLatin1String("truncated")));
  }

  // One packet of the H.264 PID is missing and one of the MPEG-2 PID is sent twice: the counter
  // says so in the packets that follow, and nothing else is broken.
  void continuityErrors() {
    const Parsed parsed = parseFile(dataPath(QStringLiteral("continuity.ts")));
    QStringList notes;
    for (const Element* p : packets(parsed))
      if (p->raw.contains(QLatin1String("expected")) || p->raw.contains(QLatin1String("duplicate")))
        notes << QStringLiteral("%1: %2").arg(p->seq).arg(p->raw);
    // Packet 47 of the original (cc 5) is missing; packet 82 (cc 2) is there twice.
    QCOMPARE(notes, QStringList({QStringLiteral("53: PID 0x0100 video, PUSI, cc 6 (expected 5), PCR 1.000000 s"),
                                 QStringLiteral("82: PID 0x0102 video, cc 2, duplicate")}));
    const auto lost = find(parsed, QStringLiteral("continuity_counter"));
    int lost_notes = 0;
    for (const Element* e : lost) lost_notes += e->hrf == QLatin1String("expected 5: packets lost");
    QCOMPARE(lost_notes, 1);
  }
};

CORVANTA_TEST_CORE_MAIN(MpegTsFilesTest)
#include "MpegTsFilesTest.moc"
