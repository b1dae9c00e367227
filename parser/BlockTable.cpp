#include "BlockTable.h"

#include "RowBlock.h"

#include <sqlite3.h>

#include <new>

namespace corvanta {

namespace {

enum RowColumn { kId, kLevel, kParentId, kLastChildId, kNameId, kOffset, kSize, kRawValue, kHrfValue };
enum NumberColumn { kNumberId, kSeqNum };

struct Table : sqlite3_vtab {
  const BlockTable::Source* source = nullptr;
};

struct Cursor : sqlite3_vtab_cursor {
  size_t index = 0;
  const RowBlock* block = nullptr;
  bool numbers = false;

  size_t count() const {
    if (!block)
      return 0;
    return numbers ? block->sequence_numbers.size() : block->rows.size();
  }
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** table_out, char**) {
  const auto* source = static_cast<const BlockTable::Source*>(aux);
  const int result = sqlite3_declare_vtab(
      db, source->numbers ? "CREATE TABLE x(id INTEGER, seq_num INTEGER)"
                          : "CREATE TABLE x(id INTEGER, level INTEGER, parent_id INTEGER, last_child_id INTEGER,"
                            " name_id INTEGER, \"offset\" INTEGER, size INTEGER, raw_value TEXT, hrf_value TEXT)");
  if (result != SQLITE_OK)
    return result;
  auto* table = new (std::nothrow) Table();
  if (!table)
    return SQLITE_NOMEM;
  table->source = source;
  *table_out = table;
  return SQLITE_OK;
}

int disconnect(sqlite3_vtab* table) {
  delete static_cast<Table*>(table);
  return SQLITE_OK;
}

// Every query is a full scan in block order; there is nothing to choose.
int bestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  info->estimatedCost = 1000;
  info->estimatedRows = 1000;
  return SQLITE_OK;
}

int open(sqlite3_vtab* table, sqlite3_vtab_cursor** cursor_out) {
  auto* cursor = new (std::nothrow) Cursor();
  if (!cursor)
    return SQLITE_NOMEM;
  const BlockTable::Source* source = static_cast<Table*>(table)->source;
  cursor->numbers = source->numbers;
  *cursor_out = cursor;
  return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* cursor) {
  delete static_cast<Cursor*>(cursor);
  return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**) {
  auto* cursor = static_cast<Cursor*>(base);
  cursor->block = *static_cast<Table*>(base->pVtab)->source->block;
  cursor->index = 0;
  return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* cursor) {
  ++static_cast<Cursor*>(cursor)->index;
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* base) {
  const auto* cursor = static_cast<Cursor*>(base);
  return cursor->index >= cursor->count();
}

void resultText(sqlite3_context* context, const RowBlock& block, TextSpan span) {
  sqlite3_result_text(context, block.textAt(span), static_cast<int>(span.length), SQLITE_STATIC);
}

void rowColumn(const RowBlock& block, size_t index, sqlite3_context* context, int column) {
  const BlockRow& row = block.rows[index];
  switch (column) {
    case kId: sqlite3_result_int64(context, block.first_id + static_cast<int64_t>(index)); break;
    case kLevel: sqlite3_result_int(context, row.level); break;
    case kParentId: sqlite3_result_int64(context, row.parent_id); break;
    case kLastChildId: sqlite3_result_int64(context, row.last_child_id); break;
    case kNameId: sqlite3_result_int(context, row.name_id); break;
    case kOffset: sqlite3_result_int64(context, row.offset); break;
    case kSize: sqlite3_result_int64(context, row.size); break;
    case kRawValue: resultText(context, block, row.raw_value); break;
    case kHrfValue: resultText(context, block, row.hrf_value); break;
    default: sqlite3_result_null(context);
  }
}

int column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
  const auto* cursor = static_cast<Cursor*>(base);
  if (!cursor->numbers) {
    rowColumn(*cursor->block, cursor->index, context, column);
    return SQLITE_OK;
  }
  const SequenceNumber& number = cursor->block->sequence_numbers[cursor->index];
  sqlite3_result_int64(context, column == kNumberId ? number.id : number.seq_num);
  return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowid_out) {
  *rowid_out = static_cast<sqlite3_int64>(static_cast<Cursor*>(cursor)->index);
  return SQLITE_OK;
}

// No xCreate: the tables exist by their module's name alone and never enter the schema.
sqlite3_module blockModule() {
  sqlite3_module module{};
  module.xConnect = connect;
  module.xBestIndex = bestIndex;
  module.xDisconnect = disconnect;
  module.xDestroy = disconnect;
  module.xOpen = open;
  module.xClose = close;
  module.xFilter = filter;
  module.xNext = next;
  module.xEof = eof;
  module.xColumn = column;
  module.xRowid = rowid;
  return module;
}

const sqlite3_module kBlockModule = blockModule();

}  // namespace

BlockTable::BlockTable(sqlite3* database) : db(database) {
  ok = sqlite3_create_module_v2(db, kRowsTable, &kBlockModule, &rows_source, nullptr) == SQLITE_OK &&
       sqlite3_create_module_v2(db, kNumbersTable, &kBlockModule, &numbers_source, nullptr) == SQLITE_OK;
}

BlockTable::~BlockTable() {
  // A null module unregisters the name, so nothing keeps a pointer to this object.
  sqlite3_create_module_v2(db, kRowsTable, nullptr, nullptr, nullptr);
  sqlite3_create_module_v2(db, kNumbersTable, nullptr, nullptr, nullptr);
}

}  // namespace corvanta
