// The visible rows held as runs, against a plain sorted list of ids: every lookup on every id
// after each change, with changes at the first and last rows, in the middle of a run, across
// the borders of runs and of the chunks that hold them.
#include <QtTest>

#include <algorithm>
#include <random>
#include <vector>

#include "VisibleRows.h"

using Ids = std::vector<qint64>;
Q_DECLARE_METATYPE(Ids)

namespace {

VisibleRows runsOf(const Ids& ids) {
  VisibleRows rows;
  for (const qint64 id : ids) rows.append(id);
  return rows;
}

void compareId(const VisibleRows& rows, const Ids& ids, qint64 id) {
  const auto lower = std::lower_bound(ids.begin(), ids.end(), id);
  const auto upper = std::upper_bound(ids.begin(), ids.end(), id);
  QCOMPARE(rows.lowerBound(id), qint64(lower - ids.begin()));
  QCOMPARE(rows.upperBound(id), qint64(upper - ids.begin()));
  QCOMPARE(rows.rowOf(id), lower != ids.end() && *lower == id ? qint64(lower - ids.begin()) : -1);
}

// Every answer of `rows` against the sorted list `ids`: on every id from below the first to
// past the last for a short list, else on each row's id and its neighbours.
void compare(const VisibleRows& rows, const Ids& ids) {
  QCOMPARE(rows.size(), qint64(ids.size()));
  QCOMPARE(rows.empty(), ids.empty());
  if (!ids.empty()) QCOMPARE(rows.back(), ids.back());
  QCOMPARE(rows.at(-1), 0);
  QCOMPARE(rows.at(qint64(ids.size())), 0);
  for (size_t row = 0; row < ids.size(); ++row)
    QCOMPARE(rows.at(qint64(row)), ids[row]);
  const qint64 end = ids.empty() ? 3 : ids.back() + 3;
  if (end < 2000) {
    for (qint64 id = -1; id <= end; ++id) compareId(rows, ids, id);
    return;
  }
  for (const qint64 id : {qint64(-1), qint64(0), end})
    compareId(rows, ids, id);
  for (const qint64 id : ids)
    for (const qint64 near : {id - 1, id, id + 1}) compareId(rows, ids, near);
}

// `count` ids from `first` with steps drawn from `steps`.
Ids idsWithSteps(qint64 first, int count, const Ids& steps, std::mt19937& random) {
  Ids ids{first};
  while (int(ids.size()) < count) ids.push_back(ids.back() + steps[random() % steps.size()]);
  return ids;
}

}  // namespace

class TestVisibleRows : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void runsOfKnownShapes_data() {
    QTest::addColumn<Ids>("ids");
    QTest::addColumn<qint64>("runs");
    Ids packets;
    for (qint64 id = 1; id < 10 * 100000; id += 10) packets.push_back(id);
    QTest::newRow("empty") << Ids{} << qint64(0);
    QTest::newRow("one id") << Ids{7} << qint64(1);
    QTest::newRow("consecutive") << Ids{3, 4, 5, 6} << qint64(1);
    QTest::newRow("equal packets") << packets << qint64(1);
    // An open packet: its children go by one, then the packets by ten again.
    QTest::newRow("one packet open") << Ids{1, 11, 12, 13, 21, 31, 41} << qint64(3);
    QTest::newRow("steps change") << Ids{1, 3, 5, 6, 7, 17, 27} << qint64(3);
    QTest::newRow("steps too large for a run") << Ids{1, qint64(1) << 33, (qint64(1) << 34) + 5} << qint64(3);
  }
  void runsOfKnownShapes() {
    QFETCH(Ids, ids);
    QFETCH(qint64, runs);
    const VisibleRows rows = runsOf(ids);
    QCOMPARE(rows.runCount(), runs);
    if (ids.size() < 1000) {
      compare(rows, ids);
    } else {
      // A long run: lookups at its ends and around a few places inside.
      for (const size_t row : {size_t(0), size_t(1), ids.size() / 2, ids.size() - 1}) {
        QCOMPARE(rows.at(qint64(row)), ids[row]);
        QCOMPARE(rows.rowOf(ids[row]), qint64(row));
        QCOMPARE(rows.rowOf(ids[row] + 1), -1);
        QCOMPARE(rows.lowerBound(ids[row] - 1), qint64(row));
        QCOMPARE(rows.upperBound(ids[row] + 1), qint64(row) + 1);
      }
    }
  }

  // Opening one element inside a long run of closed siblings, and closing it again: the run is
  // split around its children and whole again afterwards.
  void openAndCloseInsideRun_data() {
    QTest::addColumn<qint64>("opened");  // row of the element opened
    QTest::addColumn<int>("children");
    QTest::newRow("first row") << qint64(0) << 9;
    QTest::newRow("second row") << qint64(1) << 9;
    QTest::newRow("middle") << qint64(500) << 9;
    QTest::newRow("second to last") << qint64(998) << 9;
    QTest::newRow("last row") << qint64(999) << 9;
    QTest::newRow("one child") << qint64(500) << 1;
  }
  void openAndCloseInsideRun() {
    QFETCH(qint64, opened);
    QFETCH(int, children);
    Ids ids;
    for (qint64 id = 1; ids.size() < 1000; id += 10) ids.push_back(id);
    VisibleRows rows = runsOf(ids);
    Ids shown = ids;
    Ids added;
    for (int child = 1; child <= children; ++child) added.push_back(ids[size_t(opened)] + child);
    rows.insert(opened + 1, runsOf(added));
    shown.insert(shown.begin() + opened + 1, added.begin(), added.end());
    compare(rows, shown);
    QVERIFY(rows.runCount() <= 3);
    rows.erase(opened + 1, children);
    compare(rows, ids);
    QCOMPARE(rows.runCount(), qint64(1));
  }

  // Removing rows at the ends and across runs, and putting them back.
  void eraseAndInsertAtEnds_data() {
    QTest::addColumn<qint64>("row");
    QTest::addColumn<qint64>("count");
    QTest::newRow("first row") << qint64(0) << qint64(1);
    QTest::newRow("last row") << qint64(29) << qint64(1);
    QTest::newRow("everything") << qint64(0) << qint64(30);
    QTest::newRow("across two runs") << qint64(8) << qint64(4);
    QTest::newRow("across three runs") << qint64(5) << qint64(17);
    QTest::newRow("tail") << qint64(12) << qint64(18);
    QTest::newRow("more than there are") << qint64(25) << qint64(100);
  }
  void eraseAndInsertAtEnds() {
    QFETCH(qint64, row);
    QFETCH(qint64, count);
    // Three runs: steps 1, 5, 2.
    Ids ids;
    for (qint64 id = 1; id <= 10; ++id) ids.push_back(id);
    for (qint64 id = 15; ids.size() < 20; id += 5) ids.push_back(id);
    for (qint64 id = ids.back() + 2; ids.size() < 30; id += 2) ids.push_back(id);
    VisibleRows rows = runsOf(ids);
    QCOMPARE(rows.runCount(), qint64(3));
    rows.erase(row, count);
    const qint64 removed = std::min<qint64>(count, qint64(ids.size()) - row);
    Ids left = ids, gone(ids.begin() + row, ids.begin() + row + removed);
    left.erase(left.begin() + row, left.begin() + row + removed);
    compare(rows, left);
    rows.insert(row, runsOf(gone));
    compare(rows, ids);
    QCOMPARE(rows.runCount(), qint64(3));
  }

  // Steps alternating between 1 and 2 make a run of every two ids, so that the rows fill many
  // chunks; rows are taken out from inside one chunk, across chunks and up to the end.
  void eraseAcrossChunks_data() {
    QTest::addColumn<qint64>("row");
    QTest::addColumn<qint64>("count");
    QTest::newRow("inside a chunk") << qint64(10) << qint64(20);
    QTest::newRow("across a few chunks") << qint64(300) << qint64(1700);
    QTest::newRow("from inside a chunk to the end") << qint64(777) << qint64(5000);
    QTest::newRow("the last chunk and more") << qint64(2500) << qint64(500);
    QTest::newRow("from the first row to the end") << qint64(0) << qint64(3000);
    QTest::newRow("all but the last row") << qint64(0) << qint64(2999);
  }
  void eraseAcrossChunks() {
    QFETCH(qint64, row);
    QFETCH(qint64, count);
    Ids ids{1};
    while (ids.size() < 3000) ids.push_back(ids.back() + 1 + qint64(ids.size() % 2));
    VisibleRows rows = runsOf(ids);
    QCOMPARE(rows.runCount(), qint64(1500));
    rows.erase(row, count);
    Ids left = ids;
    const qint64 removed = std::min<qint64>(count, qint64(ids.size()) - row);
    left.erase(left.begin() + row, left.begin() + row + removed);
    compare(rows, left);
    // The place stays usable: the rows go back where they were.
    rows.insert(row, runsOf(Ids(ids.begin() + row, ids.begin() + row + removed)));
    compare(rows, ids);
    rows.append(ids.back() + 5);
    QCOMPARE(rows.back(), ids.back() + 5);
  }

  // Random opens (rows put into a gap between two rows) and closes (rows taken out) on lists of
  // many runs, so that chunks are split, emptied and merged, with small and large insertions.
  void randomChanges_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<Ids>("steps");
    QTest::newRow("packets of a few sizes") << 1u << Ids{10, 10, 10, 10, 14, 18};
    QTest::newRow("irregular") << 2u << Ids{2, 3, 5, 7, 11, 13, 40};
    QTest::newRow("mostly regular") << 3u << Ids{16, 16, 16, 16, 16, 16, 16, 16, 16, 24};
  }
  void randomChanges() {
    QFETCH(unsigned, seed);
    QFETCH(Ids, steps);
    std::mt19937 random(seed);
    const Ids all = idsWithSteps(1, 3000, steps, random);
    Ids shown = all;
    VisibleRows rows = runsOf(shown);
    compare(rows, shown);
    for (int change = 0; change < 120 && !QTest::currentTestFailed(); ++change) {
      const bool large = change % 7 == 0;
      if (random() % 2 == 0 && shown.size() > 2) {
        const qint64 row = qint64(random() % shown.size());
        const qint64 count = 1 + qint64(random() % (large ? 1500 : 12));
        rows.erase(row, count);
        shown.erase(shown.begin() + row, shown.begin() + std::min<qint64>(row + count, qint64(shown.size())));
      } else {
        // A gap between two shown rows (or before the first, or after the last) is filled with
        // some of the ids of `all` that lie in it, with ids inside packets too.
        const qint64 row = qint64(random() % (shown.size() + 1));
        const qint64 low = row == 0 ? 0 : shown[size_t(row) - 1];
        const qint64 high = size_t(row) == shown.size() ? all.back() + 50 : shown[size_t(row)];
        Ids added;
        for (qint64 id = low + 1; id < high; ++id)
          if (random() % (large ? 2 : 9) == 0) added.push_back(id);
        rows.insert(row, runsOf(added));
        shown.insert(shown.begin() + row, added.begin(), added.end());
      }
      compare(rows, shown);
    }
    // Emptied and filled again in one go.
    QVERIFY(rows.runCount() <= rows.size());
    rows.erase(0, rows.size());
    compare(rows, {});
    rows.insert(0, runsOf(all));
    compare(rows, all);
  }
};

QTEST_GUILESS_MAIN(TestVisibleRows)
#include "tst_VisibleRows.moc"
