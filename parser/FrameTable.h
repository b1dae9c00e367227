#pragma once

#include <QString>

#include <memory>

struct sqlite3;

namespace corvanta {

class PackedFrames;

// Serves the `frames` table of a lazy analysis from its packed rows (PackedFrames) as a read-only
// SQLite virtual table with the written table's columns and rowids (1, 2, ... in the order the
// frames were added). Every statement gets the rows in rowid order and SQLite applies its own
// constraints: the viewer reads the table whole, once.
namespace FrameTable {

// Replaces the empty written `frames` table of `db` after the analysis committed; the connection
// keeps `frames` alive until it closes.
bool install(sqlite3* db, std::shared_ptr<const PackedFrames> frames, QString* error);

}  // namespace FrameTable

}  // namespace corvanta
