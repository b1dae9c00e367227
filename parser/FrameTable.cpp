#include "FrameTable.h"

#include "ElementDatabase.h"
#include "PackedFrames.h"

#include <sqlite3.h>

namespace corvanta::FrameTable {

namespace {

constexpr const char* kModuleName = "corvanta_frames";

enum Column { kElementId, kStream, kByteOffset, kSize, kDts, kPts, kDuration, kKey, kPictureType };

struct Table {
  sqlite3_vtab base{};
  std::shared_ptr<const PackedFrames> frames;
};

struct Cursor {
  explicit Cursor(const PackedFrames& frames) : reader(frames) {}
  sqlite3_vtab_cursor base{};
  PackedFrames::Reader reader;
  PackedFrames::Row row;
  int64_t rowid = 0;
  bool eof = true;
};

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char** error) {
  const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(element_id INTEGER, stream INTEGER, byte_offset INTEGER,"
                                          " size INTEGER, dts INTEGER, pts INTEGER, duration INTEGER, key INTEGER,"
                                          " picture_type TEXT)");
  if (rc != SQLITE_OK) {
    *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
    return rc;
  }
  auto* table = new Table;
  table->frames = *static_cast<std::shared_ptr<const PackedFrames>*>(aux);
  *out = &table->base;
  return SQLITE_OK;
}

int disconnect(sqlite3_vtab* base) {
  delete reinterpret_cast<Table*>(base);
  return SQLITE_OK;
}

int bestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
  const Table* table = reinterpret_cast<const Table*>(base);
  // One plan: every row in rowid order, which also answers an ascending ORDER BY rowid.
  if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn == -1 && !info->aOrderBy[0].desc) info->orderByConsumed = 1;
  info->estimatedRows = table->frames->count() + 1;
  info->estimatedCost = double(table->frames->count()) + 1;
  return SQLITE_OK;
}

int open(sqlite3_vtab* base, sqlite3_vtab_cursor** out) {
  auto* cursor = new Cursor(*reinterpret_cast<Table*>(base)->frames);
  *out = &cursor->base;
  return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* base) {
  delete reinterpret_cast<Cursor*>(base);
  return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* base) {
  Cursor& c = *reinterpret_cast<Cursor*>(base);
  c.eof = !c.reader.next(c.row);
  if (!c.eof) ++c.rowid;
  return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**) {
  Cursor& c = *reinterpret_cast<Cursor*>(base);
  c.reader.rewind();
  c.rowid = 0;
  return next(base);
}

int eof(sqlite3_vtab_cursor* base) {
  return reinterpret_cast<Cursor*>(base)->eof ? 1 : 0;
}

void resultIf(sqlite3_context* context, bool known, int64_t value) {
  if (known)
    sqlite3_result_int64(context, value);
  else
    sqlite3_result_null(context);
}

int column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column_index) {
  const PackedFrames::Row& r = reinterpret_cast<Cursor*>(base)->row;
  switch (column_index) {
    case kElementId: sqlite3_result_int64(context, r.element_id); break;
    case kStream: sqlite3_result_int64(context, r.stream); break;
    case kByteOffset: sqlite3_result_int64(context, r.byte_offset); break;
    case kSize: sqlite3_result_int64(context, r.size); break;
    case kDts: resultIf(context, r.flags & PackedFrames::kHasDts, r.dts); break;
    case kPts: resultIf(context, r.flags & PackedFrames::kHasPts, r.pts); break;
    case kDuration: resultIf(context, r.flags & PackedFrames::kHasDuration, r.duration); break;
    case kKey: resultIf(context, r.flags & PackedFrames::kKeyKnown, (r.flags & PackedFrames::kKey) ? 1 : 0); break;
    case kPictureType: {
      const char* picture = PackedFrames::pictureType(r.flags);
      if (picture)
        sqlite3_result_text(context, picture, 1, SQLITE_STATIC);
      else
        sqlite3_result_null(context);
      break;
    }
    default: sqlite3_result_null(context);
  }
  return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out) {
  *out = reinterpret_cast<Cursor*>(base)->rowid;
  return SQLITE_OK;
}

sqlite3_module makeModule() {
  sqlite3_module m{};
  m.iVersion = 1;
  m.xCreate = connect;
  m.xConnect = connect;
  m.xBestIndex = bestIndex;
  m.xDisconnect = disconnect;
  m.xDestroy = disconnect;
  m.xOpen = open;
  m.xClose = close;
  m.xFilter = filter;
  m.xNext = next;
  m.xEof = eof;
  m.xColumn = column;
  m.xRowid = rowid;
  return m;
}

const sqlite3_module kModule = makeModule();

void destroyAux(void* aux) {
  delete static_cast<std::shared_ptr<const PackedFrames>*>(aux);
}

}  // namespace

bool install(sqlite3* db, std::shared_ptr<const PackedFrames> frames, QString* error) {
  return ElementDatabase::installModule(db, kModuleName, &kModule,
                                        new std::shared_ptr<const PackedFrames>(std::move(frames)), destroyAux,
                                        {"DROP TABLE frames", "CREATE VIRTUAL TABLE frames USING corvanta_frames"},
                                        error);
}

}  // namespace corvanta::FrameTable
