#include "BinViewFile.h"
#include "HexViewTesting.h"
#include "TestSupport.h"

#include <QRegularExpression>

using namespace hexview_testing;

class TestBinViewFile : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    big_file = dir.filePath("big.bin");
    QVERIFY(writeFile(big_file, patternBytes(0, big_size)));
  }

  void chunkCache_data() {
    QTest::addColumn<qint64>("prime");  // a read made first to place the chunk; -1 for none
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected_size");
    QTest::addColumn<qint64>("chunk_begin");
    QTest::addColumn<qint64>("chunk_end");
    QTest::addColumn<int>("disk_reads");

    QTest::newRow("hit after open") << -1LL << 100LL << 16 << 16 << 0LL << 65535LL << 1;
    QTest::newRow("hit at chunk end") << -1LL << 65528LL << 8 << 8 << 0LL << 65535LL << 1;
    QTest::newRow("forward refill a quarter back") << -1LL << 65530LL << 8 << 8 << 49146LL << 114681LL << 2;
    QTest::newRow("backward refill three quarters back")
        << 200000LL << 150000LL << 8 << 8 << 100848LL << 166383LL << 3;
    QTest::newRow("backward refill stops at 0") << 200000LL << 1000LL << 8 << 8 << 0LL << 65535LL << 3;
    QTest::newRow("short read at end of file") << -1LL << 299997LL << 8 << 3 << 283613LL << 299999LL << 2;
    QTest::newRow("at end of file") << -1LL << 300000LL << 1 << 0 << 0LL << 65535LL << 1;
    QTest::newRow("past end of file") << -1LL << 400000LL << 8 << 0 << 0LL << 65535LL << 1;
    QTest::newRow("negative offset") << -1LL << -4LL << 8 << 0 << 0LL << 65535LL << 1;
  }

  void chunkCache() {
    QFETCH(qint64, prime);
    QFETCH(qint64, offset);
    QFETCH(int, count);
    QFETCH(int, expected_size);
    QFETCH(qint64, chunk_begin);
    QFETCH(qint64, chunk_end);
    QFETCH(int, disk_reads);

    BinViewFile file;
    QVERIFY(file.open(big_file));
    QCOMPARE(file.size(), big_size);
    QCOMPARE(file.chunkSize(), 65536);
    if (prime >= 0)
      file.read(prime, 8);
    const QByteArray bytes = file.read(offset, count);
    QCOMPARE(bytes, patternBytes(offset, expected_size));
    QCOMPARE(file.chunkBegin(), chunk_begin);
    QCOMPARE(file.chunkEnd(), chunk_end);
    QCOMPARE(file.readStatistics().disk_reads, qint64(disk_reads));
    QVERIFY(file.readStatistics().largest_read <= 65536);

    // Once cached, the same bytes come without touching the disk again.
    QCOMPARE(file.read(offset, count), bytes);
    QCOMPARE(file.readStatistics().disk_reads, qint64(disk_reads));
  }

  void smallEmptyMissingAndClosedFiles() {
    const QString ten = dir.filePath("ten.bin"), empty = dir.filePath("empty.bin");
    QVERIFY(writeFile(ten, "0123456789"));
    QVERIFY(writeFile(empty, QByteArray()));
    BinViewFile file;
    QVERIFY(file.open(ten));
    QCOMPARE(file.chunkSize(), 10);
    QCOMPARE(file.read(0, 8), QByteArray("01234567"));
    QCOMPARE(file.read(8, 8), QByteArray("89"));
    QCOMPARE(file.read(10, 1), QByteArray());
    QCOMPARE(file.readStatistics().disk_reads, 1);  // the whole file, once, at opening

    QVERIFY(file.open(empty));
    QCOMPARE(file.size(), 0);
    QCOMPARE(file.read(0, 8), QByteArray());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Error \\d+: .+"));
    QVERIFY(!file.open(dir.filePath("missing.bin")));
    QVERIFY(!file.isOpen());
    QVERIFY(!file.errorText().isEmpty());
    QCOMPARE(file.read(0, 8), QByteArray());

    QVERIFY(file.open(ten));
    file.close();
    QCOMPARE(file.size(), -1);
    QCOMPARE(file.read(0, 8), QByteArray());
  }

  void fileShrunkAfterOpening() {
    const QString path = dir.filePath("shrinking.bin");
    QVERIFY(writeFile(path, patternBytes(0, 200000)));
    BinViewFile file;
    QVERIFY(file.open(path));
    QVERIFY(QFile::resize(path, 99996));
    // The size stays the one seen at opening; only the bytes still there come back.
    QCOMPARE(file.read(99992, 8), patternBytes(99992, 4));
    QCOMPARE(file.read(150000, 8), QByteArray());
    QCOMPARE(file.read(100, 8), patternBytes(100, 8));
  }

private:
  static constexpr qint64 big_size = 300000;
  QTemporaryDir dir;
  QString big_file;
};

CORVANTA_TEST_CORE_MAIN(TestBinViewFile)
#include "tst_binviewfile.moc"
