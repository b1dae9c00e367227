#pragma once

#include <QSqlDatabase>
#include <QString>

#include <initializer_list>

struct sqlite3;
struct sqlite3_module;

namespace corvanta {

// The element database: its schema, and the Qt connection that carries it.
namespace ElementDatabase {

// The name of the connection the parser hands over to the viewer.
inline constexpr const char* kConnectionName = "corvanta-container-viewer-connection";

// The SQLite handle behind an open QSQLITE connection, or null.
sqlite3* handle(const QSqlDatabase& database);

// Creates the tables (without the parent index) and sets the pragmas for a fast bulk
// load. `in_memory` selects the settings for ":memory:"; a file database is expected to
// be a fresh temporary file.
bool createSchema(sqlite3* db, bool in_memory, QString* error);

// Builds the indexes that the viewer's lookups need, unless they exist. The element
// writer builds them before its first row: kept while inserting in id order, the parent
// index costs less than building it afterwards and needs no sort.
bool createIndexes(sqlite3* db, QString* error);

// Runs one statement without results; false with the SQLite message in `error`.
bool exec(sqlite3* db, const char* sql, QString* error);

// Registers a virtual table module whose tables share `aux` (freed by `destroy` when the
// connection closes, or at once when the registration fails), then runs `steps` in one
// transaction, all or nothing: for the tables a lazy analysis serves from memory.
bool installModule(sqlite3* db, const char* name, const sqlite3_module* module, void* aux, void (*destroy)(void*),
                   std::initializer_list<const char*> steps, QString* error);

}  // namespace ElementDatabase

}  // namespace corvanta
