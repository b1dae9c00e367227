#pragma once

#include <QString>

#include <memory>

struct sqlite3;

namespace corvanta {

class LazyElements;

// Serves `elements` and `elements_seq_num` of a lazy analysis as SQLite virtual tables over the
// stored rows and the lazy units, so that every statement the viewer runs on the element database
// gives what the written tables would give. The rows the analysis wrote are moved aside to
// `stored_elements` and `stored_seq_num` (with their parent index); `dictionary` and
// `open_elements` stay real tables, and sqlite_sequence's row "elements" holds the element count.
//
// The plans: an id, an id range or every id, in either order, and the children of one parent in
// an id range in either order (the viewer's children, roots and locator statements). Columns that
// the index knows (the id, and the parent and level of a unit's own element) are served without
// decoding the unit.
namespace LazyElementTable {

// Installs the tables on `db` after the analysis committed; the connection keeps `elements`
// alive until it closes.
bool install(sqlite3* db, std::shared_ptr<LazyElements> elements, QString* error);

}  // namespace LazyElementTable

}  // namespace corvanta
