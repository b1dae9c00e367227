#include "ElementDatabase.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace corvanta::ElementDatabase {

sqlite3* handle(const QSqlDatabase& database) {
  if (!database.isValid() || !database.driver())
    return nullptr;
  const QVariant value = database.driver()->handle();
  if (!value.isValid() || qstrcmp(value.typeName(), "sqlite3*") != 0)
    return nullptr;
  return *static_cast<sqlite3* const*>(value.constData());
}

bool exec(sqlite3* db, const char* sql, QString* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
    return true;
  if (error)
    *error = QStringLiteral("database error: %1").arg(QString::fromUtf8(message ? message : sqlite3_errmsg(db)));
  sqlite3_free(message);
  return false;
}

bool installModule(sqlite3* db, const char* name, const sqlite3_module* module, void* aux, void (*destroy)(void*),
                   std::initializer_list<const char*> steps, QString* error) {
  if (sqlite3_create_module_v2(db, name, module, aux, destroy) != SQLITE_OK) {
    if (error) *error = QStringLiteral("database error: %1").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    return false;
  }
  if (!exec(db, "BEGIN", error)) return false;
  for (const char* sql : steps) {
    if (!exec(db, sql, error)) {
      exec(db, "ROLLBACK", nullptr);
      return false;
    }
  }
  return exec(db, "COMMIT", error);
}

bool createSchema(sqlite3* db, bool in_memory, QString* error) {
  // Nothing is gained from a journal or syncing while one transaction fills the
  // database: an in-memory database dies with the process anyway, and a file
  // database is written under a temporary name and renamed only when complete.
  // Large pages split less often and waste less per page while millions of rows go in;
  // the file database gets a cache large enough that the parent index, which is kept
  // while inserting, does not go back to the disk for its pages.
  static const char* const pragmas[] = {
      "PRAGMA page_size = 65536",
      "PRAGMA journal_mode = OFF",
      "PRAGMA synchronous = OFF",
  };
  static const char* const tables[] = {
      "CREATE TABLE dictionary (id INTEGER PRIMARY KEY, name TEXT)",
      "CREATE TABLE elements (id INTEGER PRIMARY KEY AUTOINCREMENT, level INTEGER, parent_id INTEGER,"
      " last_child_id INTEGER, name_id INTEGER, \"offset\" INTEGER, size INTEGER, raw_value TEXT,"
      " hrf_value TEXT)",
      "CREATE TABLE elements_seq_num (id INTEGER PRIMARY KEY, seq_num INTEGER)",
      "CREATE TABLE open_elements (id INTEGER PRIMARY KEY)",
      // The timing facts (TimingWriter), empty where a module knows none.
      "CREATE TABLE streams (stream INTEGER PRIMARY KEY, kind TEXT NOT NULL, codec TEXT, container_id INTEGER,"
      " container_id_name TEXT, time_base_num INTEGER, time_base_den INTEGER)",
      "CREATE TABLE frames (element_id INTEGER NOT NULL, stream INTEGER NOT NULL, byte_offset INTEGER NOT NULL,"
      " size INTEGER NOT NULL, dts INTEGER, pts INTEGER, duration INTEGER, key INTEGER, picture_type TEXT)",
      "CREATE TABLE faults (element_id INTEGER NOT NULL, stream INTEGER, check_name TEXT NOT NULL,"
      " priority INTEGER NOT NULL, detail TEXT)",
  };
  for (const char* sql : pragmas) {
    if (!exec(db, sql, error))
      return false;
  }
  if (!in_memory && !exec(db, "PRAGMA cache_size = -262144", error))
    return false;
  for (const char* sql : tables) {
    if (!exec(db, sql, error))
      return false;
  }
  return true;
}

bool createIndexes(sqlite3* db, QString* error) {
  return exec(db, "CREATE INDEX IF NOT EXISTS elements_parent_id ON elements (parent_id)", error);
}

}  // namespace corvanta::ElementDatabase
