#pragma once

#include "ElementDatabase.h"

#include <QString>
#include <QtTest>

#include <sqlite3.h>

#include <cstdint>

// A fresh in-memory element database opened through the SQLite C API, for tests
// that drive the writer or break a database by hand.
class TestDatabase {
 public:
  TestDatabase() {
    sqlite3_open(":memory:", &handle);
    QString error;
    if (!corvanta::ElementDatabase::createSchema(handle, true, &error))
      qFatal("cannot create the schema: %s", qPrintable(error));
  }
  ~TestDatabase() { sqlite3_close(handle); }
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  sqlite3* db() const { return handle; }

  void exec(const char* sql) const {
    char* message = nullptr;
    if (sqlite3_exec(handle, sql, nullptr, nullptr, &message) != SQLITE_OK)
      qFatal("%s: %s", sql, message);
  }

  // The first column of the first row as text; "NULL" for a null value, "" for no row.
  QString value(const QString& sql) const {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
      return QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(handle));
    QString text;
    if (sqlite3_step(statement) == SQLITE_ROW) {
      text = sqlite3_column_type(statement, 0) == SQLITE_NULL
                 ? QStringLiteral("NULL")
                 : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    return text;
  }
  int64_t number(const QString& sql) const { return value(sql).toLongLong(); }

  // "id level parent last_child offset size" of one element, for compact comparisons.
  QString row(int64_t id) const {
    return value(QStringLiteral("SELECT id || ' ' || level || ' ' || parent_id || ' ' || last_child_id || ' ' || "
                                "\"offset\" || ' ' || size FROM elements WHERE id = %1").arg(id));
  }

 private:
  sqlite3* handle = nullptr;
};
