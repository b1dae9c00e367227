// The text match that Find runs on every element's values: what it must find and what
// it must not, against the LIKE semantics it replaces.
#include <QtTest>

#include <sqlite3.h>

#include "TextMatchFunction.h"

class TextMatchFunctionTest : public QObject {
  Q_OBJECT

 private slots:
  void matches_data();
  void matches();
  void nullNeverMatches();
};

void TextMatchFunctionTest::matches_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("needle");  // as the search passes it: ASCII letters in lower case
  QTest::addColumn<bool>("whole");
  QTest::addColumn<bool>("expected");

  QTest::newRow("inside, other case") << "PID 0x0100, PUSI" << "pusi" << false << true;
  QTest::newRow("at the start") << "avc1 video" << "avc1" << false << true;
  QTest::newRow("at the end") << "184 bytes" << "bytes" << false << true;
  QTest::newRow("cut by the end") << "184 byte" << "bytes" << false << false;
  QTest::newRow("repeated first letter") << "aaab" << "aab" << false << true;
  QTest::newRow("empty needle") << "x" << "" << false << true;
  QTest::newRow("percent is literal") << "100 bytes" << "%" << false << false;
  QTest::newRow("underscore is literal") << "frame_num" << "e_n" << false << true;
  QTest::newRow("underscore matches no other character") << "frame num" << "e_n" << false << false;
  QTest::newRow("whole equal in other case") << "Matroska" << "matroska" << true << true;
  QTest::newRow("whole refuses a longer value") << "Matroska v4" << "matroska" << true << false;
  QTest::newRow("whole refuses a shorter value") << "Matro" << "matroska" << true << false;
  QTest::newRow("non-ASCII exact") << QString::fromUtf8("Grüße") << QString::fromUtf8("grüße") << false << true;
  QTest::newRow("non-ASCII case is not folded") << QString::fromUtf8("GRÜSSE") << QString::fromUtf8("ü") << false
                                                << false;
}

void TextMatchFunctionTest::matches() {
  QFETCH(QString, value);
  QFETCH(QString, needle);
  QFETCH(bool, whole);
  QFETCH(bool, expected);

  sqlite3* db = nullptr;
  QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
  QVERIFY(registerTextMatchFunction(db));
  sqlite3_stmt* statement = nullptr;
  QCOMPARE(sqlite3_prepare_v2(db, "SELECT corvanta_text_match(?, ?, ?)", -1, &statement, nullptr), SQLITE_OK);
  const QByteArray value_utf8 = value.toUtf8();
  const QByteArray needle_utf8 = needle.toUtf8();
  sqlite3_bind_text(statement, 1, value_utf8.constData(), int(value_utf8.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(statement, 2, needle_utf8.constData(), int(needle_utf8.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int(statement, 3, whole ? 1 : 0);
  QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
  const bool matched = sqlite3_column_int(statement, 0) != 0;
  sqlite3_finalize(statement);
  sqlite3_close(db);
  QCOMPARE(matched, expected);
}

void TextMatchFunctionTest::nullNeverMatches() {
  sqlite3* db = nullptr;
  QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
  QVERIFY(registerTextMatchFunction(db));
  sqlite3_stmt* statement = nullptr;
  QCOMPARE(sqlite3_prepare_v2(db, "SELECT corvanta_text_match(NULL, '', 0), corvanta_text_match(NULL, '', 1)", -1,
                              &statement, nullptr),
           SQLITE_OK);
  QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
  QCOMPARE(sqlite3_column_int(statement, 0), 0);
  QCOMPARE(sqlite3_column_int(statement, 1), 0);
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

QTEST_APPLESS_MAIN(TextMatchFunctionTest)
#include "tst_TextMatchFunction.moc"
