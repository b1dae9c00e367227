#include "TimingTablesFixture.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QVariant>

namespace timing_fixture {

namespace {

bool exec(QSqlDatabase& database, const QString& sql) {
  QSqlQuery query(database);
  return query.exec(sql);
}

bool insertFrame(QSqlQuery& query, qint64 element, int stream, qint64 offset, qint64 size, const QVariant& dts,
                 const QVariant& pts, const QVariant& key, const QVariant& picture_type) {
  query.bindValue(0, element);
  query.bindValue(1, stream);
  query.bindValue(2, offset);
  query.bindValue(3, size);
  query.bindValue(4, dts);
  query.bindValue(5, pts);
  query.bindValue(6, QVariant());
  query.bindValue(7, key);
  query.bindValue(8, picture_type);
  return query.exec();
}

const char kInsertFrame[] = "INSERT INTO frames VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)";

}  // namespace

bool createTables(QSqlDatabase& database) {
  return exec(database,
              "CREATE TABLE IF NOT EXISTS streams (stream INTEGER PRIMARY KEY, kind TEXT NOT NULL, codec TEXT, "
              "container_id INTEGER, container_id_name TEXT, time_base_num INTEGER, time_base_den INTEGER)") &&
         exec(database,
              "CREATE TABLE IF NOT EXISTS frames (element_id INTEGER NOT NULL, stream INTEGER NOT NULL, "
              "byte_offset INTEGER NOT NULL, size INTEGER NOT NULL, dts INTEGER, pts INTEGER, duration INTEGER, "
              "key INTEGER, picture_type TEXT)") &&
         exec(database,
              "CREATE TABLE IF NOT EXISTS faults (element_id INTEGER NOT NULL, stream INTEGER, "
              "check_name TEXT NOT NULL, priority INTEGER NOT NULL, detail TEXT)") &&
         exec(database, "DELETE FROM streams") && exec(database, "DELETE FROM frames") &&
         exec(database, "DELETE FROM faults");
}

bool dropTables(QSqlDatabase& database) {
  return exec(database, "DROP TABLE IF EXISTS streams") && exec(database, "DROP TABLE IF EXISTS frames") &&
         exec(database, "DROP TABLE IF EXISTS faults");
}

bool writeSmallFile(QSqlDatabase& database) {
  if (!createTables(database))
    return false;
  if (!exec(database, "INSERT INTO streams VALUES (1, 'video', 'H.264', 1, 'track ID', 1, 90000), "
                      "(2, 'audio', 'AAC', 2, 'track ID', 1, 48000), (3, 'pcr', NULL, 256, 'PID', 1, 27000000)"))
    return false;
  QSqlQuery query(database);
  if (!query.prepare(kInsertFrame))
    return false;
  for (int i = 0; i < kVideoFrames; ++i) {
    const bool intra = i % 12 == 0;
    const qint64 dts = (i == kBackwardsFrame ? i - 2 : i) * 3600;
    const QString type = intra ? "I" : (i % 3 == 0 ? "P" : "B");
    const qint64 size = i == kBigFrame ? 12000 : (intra ? 4000 : 1000);
    if (!insertFrame(query, kVideoElement + i, 1, 1000 + i * 10, size, dts, i * 3600 + 7200, intra ? 1 : 0, type))
      return false;
  }
  for (int i = 0; i < kAudioFrames; ++i)
    if (!insertFrame(query, kAudioElement + i, 2, 50000 + i * 10, 300, 3840 + i * 1024, 3840 + i * 1024, 1,
                     QVariant()))
      return false;
  qint64 pcr = 0;
  for (int i = 0; i < kPcrs; ++i) {
    pcr += i == 0 ? 0 : (i == 10 ? 4050000 : 1080000);
    if (!insertFrame(query, kPcrElement + i, 3, pcr / 2700 * 188, 188, pcr, QVariant(), QVariant(), QVariant()))
      return false;
  }
  return exec(database, QString("INSERT INTO faults VALUES (%1, 3, '1.4 Continuity_count_error', 1, "
                                "'cc 6, expected 5')")
                            .arg(kContinuityElement));
}

int writeFromGolden(QSqlDatabase& database, const QString& golden_path) {
  QFile golden(golden_path);
  if (!golden.open(QIODevice::ReadOnly) || !createTables(database))
    return 0;
  const QRegularExpression sample(
      R"(^\s*sample-\d+ (\d+) \+(\d+) = track (\d+), dts (\d+), (.*)\[(\w+), ([0-9.]+) s\])");
  QMap<int, QString> kinds;
  QMap<int, double> seconds_per_tick;
  QSqlQuery query(database);
  if (!query.prepare(kInsertFrame))
    return 0;
  int frames = 0;
  for (qint64 line = 1; !golden.atEnd(); ++line) {
    const QRegularExpressionMatch match = sample.match(QString::fromUtf8(golden.readLine()));
    if (!match.hasMatch())
      continue;
    const int track = match.captured(3).toInt();
    const qint64 dts = match.captured(4).toLongLong();
    const QString flags = match.captured(5);
    kinds[track] = match.captured(6);
    if (dts > 0)
      seconds_per_tick[track] = match.captured(7).toDouble() / double(dts);
    QString type;
    for (const QString& flag : flags.split(',', Qt::SkipEmptyParts)) {
      const QString word = flag.trimmed();
      if (word == "IDR" || word == "I" || word == "P" || word == "B")
        type = word.left(1);
    }
    if (!insertFrame(query, line, track, match.captured(1).toLongLong(), match.captured(2).toLongLong(), dts, dts,
                     flags.startsWith("sync") ? 1 : 0, type.isEmpty() ? QVariant() : QVariant(type)))
      return 0;
    ++frames;
  }
  for (auto it = kinds.cbegin(); it != kinds.cend(); ++it) {
    // The golden dump prints times in microseconds: the time base is the rounded ratio.
    const qint64 ticks_per_second = qRound64(1.0 / seconds_per_tick.value(it.key(), 1.0));
    if (!exec(database, QString("INSERT INTO streams VALUES (%1, '%2', NULL, %1, 'track ID', 1, %3)")
                            .arg(it.key())
                            .arg(it.value())
                            .arg(ticks_per_second)))
      return 0;
  }
  return frames;
}

}  // namespace timing_fixture
