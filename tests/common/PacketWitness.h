#pragma once

// ffprobe's packet lists as the test-data scripts write them ("stream,size,pos" per line), and
// their comparison with the frames or samples a parse found, stream by stream.

#include "ParsedFile.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QtTest>

#include <algorithm>
#include <utility>
#include <vector>

namespace corvanta::test {

using Stretch = std::pair<qint64, qint64>;  // file offset, size
using PerStream = QMap<int, std::vector<Stretch>>;

// Packets without a position (ffprobe writes "N/A" for some) are left out; each stream sorted.
inline PerStream readPacketWitness(const QString& path) {
  PerStream out;
  for (const QByteArray& line : readAll(path).split('\n')) {
    const QList<QByteArray> parts = line.split(',');
    bool known = false;
    const qint64 pos = parts.size() >= 3 ? parts[2].toLongLong(&known) : 0;
    if (known) out[parts[0].toInt()].push_back({pos, parts[1].toLongLong()});
  }
  for (auto& list : out) std::sort(list.begin(), list.end());
  return out;
}

// Every stream of the witness, with the same stretches in the same order; `unit` names them
// in the failure message ("sample", "frame").
inline void comparePerStream(const PerStream& actual, const PerStream& expected, const char* unit) {
  QCOMPARE(actual.keys(), expected.keys());
  for (int stream : expected.keys()) {
    const auto& a = actual[stream];
    const auto& e = expected[stream];
    QVERIFY2(a.size() == e.size(), qPrintable(QStringLiteral("stream %1: %2 %3s, ffprobe %4")
                                                  .arg(stream).arg(a.size()).arg(QLatin1String(unit)).arg(e.size())));
    for (size_t i = 0; i < a.size(); ++i)
      QVERIFY2(a[i] == e[i], qPrintable(QStringLiteral("stream %1 %2 at %3+%4, ffprobe %5+%6")
                                            .arg(stream).arg(QLatin1String(unit)).arg(a[i].first).arg(a[i].second)
                                            .arg(e[i].first).arg(e[i].second)));
  }
}

}  // namespace corvanta::test
