// Ogg files made by real muxers (see tests/data/ogg/make-test-files.sh): the check passes, every
// page is where an independent page walk (ogg-walk.py) finds it with the same header values and
// CRC verdict, each stream's packets are ffprobe's packets and its last granule is ffprobe's end,
// a packet continued over pages is one piece per page, and broken copies keep every good page.
#include "PacketWitness.h"
#include "ParsedFile.h"
#include "TestSupport.h"

using namespace corvanta::test;

namespace {

// A page as ogg-walk.py lists it: "offset,size,serial,sequence,granule,flags,crc".
struct Page {
  qint64 offset = 0, size = 0, serial = 0, sequence = 0, granule = 0, flags = 0;
  QString crc;
  bool operator==(const Page& o) const {
    return offset == o.offset && size == o.size && serial == o.serial && sequence == o.sequence &&
           granule == o.granule && flags == o.flags && crc == o.crc;
  }
};

QList<Page> witnessPages(const QString& path) {
  QList<Page> pages;
  for (const QByteArray& line : readAll(path).split('\n')) {
    const QList<QByteArray> p = line.split(',');
    if (p.size() == 7)
      pages.append({p[0].toLongLong(), p[1].toLongLong(), p[2].toLongLong(), p[3].toLongLong(), p[4].toLongLong(),
                    p[5].toLongLong(), QString::fromLatin1(p[6])});
  }
  return pages;
}

QString child(const Parsed& parsed, const Element& unit, const QString& name, bool readable = false) {
  const Element* found = parsed.at(name, unit.id);
  return found ? (readable ? found->hrf : found->raw) : QString();
}

bool isPage(const Element& e) { return e.level == 0 && e.name == "page"; }

QList<Page> parsedPages(const Parsed& parsed) {
  QList<Page> pages;
  for (const Element& e : parsed.elements) {
    if (!isPage(e)) continue;
    const QString crc = child(parsed, e, "CRC_checksum", true);
    pages.append({e.byteOffset(), e.byteSize(), child(parsed, e, "bitstream_serial_number").toLongLong(),
                  child(parsed, e, "page_sequence_number").toLongLong(),
                  child(parsed, e, "granule_position").toLongLong(),
                  child(parsed, e, "header_type").toLongLong(nullptr, 16),
                  crc.startsWith("not checked") ? QStringLiteral("truncated") : crc});
  }
  return pages;
}

// Header packets before the first audio or video packet, by codec.
int headerPackets(const QString& codec) {
  if (codec == "Vorbis" || codec == "Theora") return 3;
  if (codec == "Opus" || codec == "Speex") return 2;
  return 0;
}

// The logical streams' data packets in order of first appearance, as "pos,size" with pos the
// page where the packet starts, as ffmpeg reports it.
PerStream parsedPackets(const Parsed& parsed) {
  QMap<qint64, int> index_of_serial;
  QMap<int, int> headers;
  QMap<QPair<int, qint64>, Stretch> packets;  // (stream, packet number) -> first page, size
  for (const Element& page : parsed.elements) {
    if (!isPage(page)) continue;
    const qint64 serial = child(parsed, page, "bitstream_serial_number").toLongLong();
    if (!index_of_serial.contains(serial)) {
      const int index = int(index_of_serial.size());
      index_of_serial[serial] = index;
      const QString codec = page.raw.section(' ', 0, 0);
      headers[index] = headerPackets(codec);
    }
    const int stream = index_of_serial[serial];
    for (const Element* piece : parsed.children(page.id)) {
      if (piece->name != "packet" || piece->seq < 0) continue;
      if (piece->seq == 0 && parsed.at("header_packets", piece->id))  // Ogg FLAC counts its own
        headers[stream] = 1 + child(parsed, *piece, "header_packets").toInt();
      auto key = qMakePair(stream, piece->seq);
      if (!packets.contains(key)) packets[key] = {page.byteOffset(), 0};
      packets[key].second += piece->byteSize();
    }
  }
  PerStream out;
  for (auto it = packets.begin(); it != packets.end(); ++it)
    if (it.key().second >= headers[it.key().first]) out[it.key().first].push_back(it.value());
  for (auto& list : out) std::sort(list.begin(), list.end());
  return out;
}

// ffprobe's packets of the Ogg streams only (an attached picture from a comment is no stream).
PerStream witnessPackets(const QString& path, const QStringList& codecs) {
  PerStream all = readPacketWitness(path + ".packets");
  PerStream out;
  for (auto it = all.begin(); it != all.end(); ++it)
    if (it.key() < codecs.size() && codecs[it.key()] != "png") out[it.key()] = it.value();
  return out;
}

// ffprobe's streams: "index,codec,start_pts,duration_ts".
QList<QList<QByteArray>> witnessStreams(const QString& path) {
  QList<QList<QByteArray>> streams;
  for (const QByteArray& line : readAll(path + ".streams.csv").split('\n'))
    if (line.count(',') == 3) streams.append(line.split(','));
  return streams;
}

const char* const kValidFiles[] = {"ffmpeg-vorbis.ogg", "repaged.ogg", "ffmpeg-opus.opus", "ffmpeg-flac.oga",
                                   "speex.spx", "oggenc.ogg", "opusenc.opus", "gstreamer-theora.ogv",
                                   "chained.ogg"};

}  // namespace

class OggFilesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void validFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : kValidFiles) QTest::newRow(name) << QString::fromLatin1(name);
  }
  void validFiles() {
    QFETCH(QString, file);
    const QString path = dataFile("ogg/" + file);
    const Parsed parsed = parseFile(path);
    const QString problem = cleanParseProblem(parsed, path, QStringLiteral("ogg"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QList<Page> pages = parsedPages(parsed);
    QCOMPARE(pages.size(), witnessPages(path + ".pages.csv").size());
    QVERIFY(pages == witnessPages(path + ".pages.csv"));
    for (const Element& e : parsed.elements) {
      QVERIFY2(!e.hrf.contains("truncated") && !e.hrf.contains("incomplete") && !e.hrf.contains("mismatch") &&
                   !e.hrf.contains("missing") && !e.hrf.contains("not in the file") && !e.hrf.contains("past the end"),
               qPrintable(e.name + " at " + QString::number(e.byteOffset()) + ": " + e.hrf));
      QVERIFY2(e.name != "packet_data", qPrintable(QString::number(e.byteOffset())));  // every packet decoded
    }
  }

  void packetsAgreeWithFfprobe_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : kValidFiles)
      if (QFileInfo::exists(dataFile("ogg/") + name + ".packets")) QTest::newRow(name) << QString::fromLatin1(name);
  }
  void packetsAgreeWithFfprobe() {
    QFETCH(QString, file);
    const QString path = dataFile("ogg/" + file);
    QStringList codecs;
    for (const auto& stream : witnessStreams(path)) codecs << QString::fromLatin1(stream[1]);
    comparePerStream(parsedPackets(parseFile(path)), witnessPackets(path, codecs), "packet");
  }

  // The granule of each stream's last page is where ffprobe says the stream ends.
  void lastGranuleAgreesWithFfprobe_data() { packetsAgreeWithFfprobe_data(); }
  void lastGranuleAgreesWithFfprobe() {
    QFETCH(QString, file);
    const QString path = dataFile("ogg/" + file);
    QMap<qint64, qint64> last_granule;
    QList<qint64> serials;
    for (const Page& page : witnessPages(path + ".pages.csv")) {
      if (!serials.contains(page.serial)) serials << page.serial;
      last_granule[page.serial] = page.granule;
    }
    const Parsed parsed = parseFile(path);
    QMap<qint64, qint64> parsed_granule;
    for (const Page& page : parsedPages(parsed)) parsed_granule[page.serial] = page.granule;
    QCOMPARE(parsed_granule, last_granule);
    int checked = 0;
    for (const auto& stream : witnessStreams(path)) {
      const int index = stream[0].toInt();
      if (stream[1] == "png") continue;
      qint64 granule = parsed_granule[serials[index]];
      if (stream[1] == "theora") {  // ffprobe counts frames: the keyframe's number and those after it
        const int shift = parsed.named("KFGSHIFT").at(0)->raw.toInt();
        granule = (granule >> shift) + (granule & ((qint64(1) << shift) - 1));
      }
      QCOMPARE(granule, stream[2].toLongLong() + stream[3].toLongLong());
      ++checked;
    }
    QVERIFY(checked >= 1);
  }

  // repaged.ogg holds ffmpeg-vorbis.ogg's setup header cut over pages: one piece per page, each
  // saying where it continues, adding up to the whole packet, its fields in the piece that holds
  // their bits.
  void continuedPacketIsOnePiecePerPage() {
    const Parsed whole = parseFile(dataFile("ogg/ffmpeg-vorbis.ogg"));
    const Parsed cut = parseFile(dataFile("ogg/repaged.ogg"));
    qint64 whole_size = 0;
    for (const Element* e : whole.named("packet"))
      if (e->seq == 2) whole_size = e->byteSize();
    QVERIFY(whole_size > 2000);
    std::vector<const Element*> pieces;
    for (const Element* e : cut.named("packet"))
      if (e->seq == 2) pieces.push_back(e);
    QCOMPARE(int(pieces.size()), 4);
    qint64 total = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
      total += pieces[i]->byteSize();
      QCOMPARE(pieces[i]->hrf.contains("continued from an earlier page"), i > 0);
      QCOMPARE(pieces[i]->hrf.contains("continues in the next page"), i + 1 < pieces.size());
    }
    QCOMPARE(total, whole_size);
    QVERIFY(cut.at("setup_header/vorbis_codebook_count_minus_1", pieces[0]->id));
    QVERIFY(!cut.at("setup_header/vorbis_codebook_count_minus_1", pieces[1]->id));
    QVERIFY(cut.at("setup_header/setup_data", pieces[3]->id));
  }

  // Two streams one after the other: each named by its serial and codec, packets counted anew.
  void chainedStreamsAreNamedAndNumberedApart() {
    const Parsed parsed = parseFile(dataFile("ogg/chained.ogg"));
    QStringList codecs;
    QList<qint64> first_packets;
    for (const Element& e : parsed.elements) {
      if (!isPage(e) || !child(parsed, e, "header_type/first_page").toInt()) continue;
      codecs << child(parsed, e, "bitstream_serial_number", true);
      first_packets << parsed.children(e.id).back()->seq;
    }
    QCOMPARE(codecs, QStringList({"Vorbis, logical stream 0", "Opus, logical stream 1"}));
    QCOMPARE(first_packets, QList<qint64>({0, 0}));
  }

  // Broken copies of ffmpeg-vorbis.ogg: the pages the walk finds, with what went wrong said on the
  // page where it shows.
  void brokenCopiesKeepTheGoodPages_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("garbage");
    QTest::addColumn<QString>("note");
    QTest::newRow("truncated") << "truncated.ogg" << 0 << "truncated";
    QTest::newRow("payload byte changed") << "corrupt-crc.ogg" << 0 << "CRC mismatch";
    QTest::newRow("capture pattern lost") << "corrupt-junk.ogg" << 1 << "2 pages missing";
    QTest::newRow("page taken out") << "lost-page.ogg" << 0 << "1 page missing";
  }
  void brokenCopiesKeepTheGoodPages() {
    QFETCH(QString, file);
    QFETCH(int, garbage);
    QFETCH(QString, note);
    const QString path = dataFile("ogg/" + file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(garbage));
    QVERIFY(parsedPages(parsed) == witnessPages(path + ".pages.csv"));
    int noted = 0;
    for (const Element& e : parsed.elements)
      if (isPage(e) && e.hrf.contains(note)) ++noted;
    QCOMPARE(noted, 1);
  }

  // A cut last page: its last packet says that the rest is missing.
  void truncatedPacketSaysIncomplete() {
    const Parsed parsed = parseFile(dataFile("ogg/truncated.ogg"));
    const std::vector<const Element*> packets = parsed.named("packet");
    QVERIFY(!packets.empty());
    QVERIFY2(packets.back()->hrf.contains("incomplete"), qPrintable(packets.back()->hrf));
  }
};

CORVANTA_TEST_CORE_MAIN(OggFilesTest)
#include "OggFilesTest.moc"
