#include "LazyElementTable.h"

#include "ElementDatabase.h"
#include "LazyElements.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace corvanta::LazyElementTable {

namespace {

constexpr const char* kModuleName = "corvanta_lazy";

enum Column { kId, kLevel, kParentId, kLastChildId, kNameId, kOffset, kSize, kRawValue, kHrfValue };

// idxNum bits of a plan.
enum Plan {
  kIdEqual = 1,
  kIdLower = 2,
  kIdLowerStrict = 4,
  kIdUpper = 8,
  kIdUpperStrict = 16,
  kParentEqual = 32,
  kDescending = 64,
};

struct Table {
  sqlite3_vtab base{};
  sqlite3* db = nullptr;
  std::shared_ptr<LazyElements> elements;
  bool numbers = false;  // elements_seq_num
};

// One row, wherever it comes from.
struct Row {
  int64_t id = 0, level = 0, parent_id = 0, last_child_id = 0, name_id = 0, offset = 0, size = 0, seq_num = -1;
  std::string raw_value, hrf_value;
};

// Reads stored rows through statements of its own, prepared when first needed.
class StoredRows {
 public:
  explicit StoredRows(sqlite3* db) : db(db) {}
  ~StoredRows() {
    sqlite3_finalize(row);
    sqlite3_finalize(children);
  }
  StoredRows(const StoredRows&) = delete;
  StoredRows& operator=(const StoredRows&) = delete;

  bool read(int64_t id, Row& out) {
    if (!row && sqlite3_prepare_v2(db,
                                   "SELECT level, parent_id, last_child_id, name_id, \"offset\", size, raw_value, "
                                   "hrf_value, (SELECT seq_num FROM stored_seq_num s WHERE s.id = e.id) "
                                   "FROM stored_elements e WHERE id = ?",
                                   -1, &row, nullptr) != SQLITE_OK)
      return false;
    sqlite3_reset(row);
    sqlite3_bind_int64(row, 1, id);
    if (sqlite3_step(row) != SQLITE_ROW)
      return false;
    out.id = id;
    out.level = sqlite3_column_int64(row, 0);
    out.parent_id = sqlite3_column_int64(row, 1);
    out.last_child_id = sqlite3_column_int64(row, 2);
    out.name_id = sqlite3_column_int64(row, 3);
    out.offset = sqlite3_column_int64(row, 4);
    out.size = sqlite3_column_int64(row, 5);
    const auto text = [this](int column) {
      const unsigned char* value = sqlite3_column_text(row, column);
      return value ? std::string(reinterpret_cast<const char*>(value), size_t(sqlite3_column_bytes(row, column)))
                   : std::string();
    };
    out.raw_value = text(6);
    out.hrf_value = text(7);
    out.seq_num = sqlite3_column_type(row, 8) == SQLITE_NULL ? -1 : sqlite3_column_int64(row, 8);
    sqlite3_reset(row);
    return true;
  }

  // Starts the stored children of `parent` in [low, high]; next() gives them one by one.
  bool startChildren(int64_t parent, int64_t low, int64_t high, bool descending) {
    sqlite3_finalize(children);
    children = nullptr;
    const char* sql = descending
                          ? "SELECT id FROM stored_elements WHERE parent_id = ? AND id >= ? AND id <= ? ORDER BY id DESC"
                          : "SELECT id FROM stored_elements WHERE parent_id = ? AND id >= ? AND id <= ? ORDER BY id";
    if (sqlite3_prepare_v2(db, sql, -1, &children, nullptr) != SQLITE_OK)
      return false;
    sqlite3_bind_int64(children, 1, parent);
    sqlite3_bind_int64(children, 2, low);
    sqlite3_bind_int64(children, 3, high);
    return true;
  }
  // The next stored child, or -1.
  int64_t nextChild() {
    if (!children || sqlite3_step(children) != SQLITE_ROW)
      return -1;
    return sqlite3_column_int64(children, 0);
  }

 private:
  sqlite3* db;
  sqlite3_stmt* row = nullptr;
  sqlite3_stmt* children = nullptr;
};

struct Cursor {
  sqlite3_vtab_cursor base{};
  Table* table = nullptr;
  LazyElements* elements = nullptr;
  StoredRows stored;
  bool descending = false;
  bool eof = true;
  int64_t id = 0;
  int64_t low = 0, high = 0;

  // The children of one parent: ids from a list (a parent inside a lazy unit), or the stored
  // children merged with the lazy units' own elements under that parent.
  bool by_parent = false;
  int64_t parent = 0;
  std::vector<int64_t> listed;
  size_t listed_at = 0;
  bool use_list = false;
  int64_t stored_next = -1;
  int64_t unit = -1, unit_first = 0, run_end = 0, run_begin = 0;
  int64_t run_parent = 0;  // the parent of the units of [run_begin, run_end)
  bool units_done = true;

  // The row under the cursor.
  int64_t row_unit = -1;  // the lazy unit holding `id`, -1 for a stored row
  bool row_is_unit = false;  // `id` is that unit's own element
  bool row_loaded = false;
  std::shared_ptr<const DecodedUnit> decoded;
  int64_t decoded_unit = -1;
  const BlockRow* lazy_row = nullptr;
  Row stored_row;
  bool stored_found = false;

  explicit Cursor(Table* t) : table(t), elements(t->elements.get()), stored(t->db) {}

  const LazyIndex& index() const { return elements->index(); }

  void locate(int64_t row_id, int64_t known_unit = -2) {
    id = row_id;
    row_loaded = false;
    lazy_row = nullptr;
    row_unit = known_unit >= -1 ? known_unit : index().unitHolding(row_id);
    row_is_unit = row_unit >= 0 && index().firstId(row_unit) == row_id;
  }
  // The own element of lazy unit `unit`, whose first id the walk over the units knows already.
  void locateUnit(int64_t unit_id, int64_t known_unit) {
    id = unit_id;
    row_loaded = false;
    lazy_row = nullptr;
    row_unit = known_unit;
    row_is_unit = true;
  }
  void enterRun() {
    const LazyIndex& units = index();
    run_begin = units.runBegin(unit);
    run_end = units.runEnd(unit);
    run_parent = units.parentOf(unit);
  }

  // Decodes the unit or reads the stored row; false when the row is missing.
  bool load() {
    if (row_loaded)
      return lazy_row || stored_found;
    row_loaded = true;
    if (row_unit >= 0) {
      if (!decoded || decoded_unit != row_unit) {
        decoded = elements->unit(row_unit);
        decoded_unit = row_unit;
      }
      const int64_t at = id - decoded->first_id;
      lazy_row = at >= 0 && at < int64_t(decoded->rows.size()) ? &decoded->rows[size_t(at)] : nullptr;
      return lazy_row != nullptr;
    }
    stored_found = stored.read(id, stored_row);
    return stored_found;
  }

  // --- the lazy units' own elements under `parent`, in id order
  void startUnits(int64_t from) {
    const LazyIndex& units = index();
    units_done = units.empty();
    if (units_done) return;
    unit = descending ? units.lastUnitUpTo(from) : units.firstUnitFrom(from);
    if (unit < 0 || unit >= units.unitCount()) {
      units_done = true;
      return;
    }
    unit_first = units.firstId(unit);
    enterRun();
    settleUnit();
  }
  void moveUnit() {
    const LazyIndex& units = index();
    if (descending) {
      if (unit == 0) {
        units_done = true;
        return;
      }
      unit_first -= units.gapBefore(unit) + units.idCount(unit - 1);
      --unit;
      if (unit < run_begin) {
        enterRun();
      }
    } else {
      unit_first += units.idCount(unit) + units.gapBefore(unit + 1);
      ++unit;
      if (unit >= units.unitCount()) {
        units_done = true;
        return;
      }
      if (unit >= run_end) {
        enterRun();
      }
    }
  }
  // Moves to the nearest lazy unit under `parent` inside [low, high].
  void settleUnit() {
    const LazyIndex& units = index();
    while (!units_done) {
      if (descending ? unit_first < low : unit_first > high) {
        units_done = true;
        return;
      }
      if (run_parent != parent) {
        // Skip the whole run of another parent.
        unit = descending ? run_begin - 1 : run_end;
        if (unit < 0 || unit >= units.unitCount()) {
          units_done = true;
          return;
        }
        unit_first = units.firstId(unit);
        enterRun();
        continue;
      }
      if (units.isLazy(unit) && (descending ? unit_first <= high : unit_first >= low)) return;
      moveUnit();
    }
  }

  void nextChild() {
    if (use_list) {
      if (listed_at >= listed.size()) {
        eof = true;
        return;
      }
      locate(listed[listed_at++], row_unit);
      return;
    }
    const bool have_unit = !units_done;
    const bool have_stored = stored_next >= 0;
    if (!have_unit && !have_stored) {
      eof = true;
      return;
    }
    const bool take_unit = have_unit && (!have_stored || (descending ? unit_first > stored_next : unit_first < stored_next));
    if (take_unit) {
      locateUnit(unit_first, unit);
      moveUnit();
      settleUnit();
    } else {
      locate(stored_next, -1);
      stored_next = stored.nextChild();
    }
  }

  void startChildren() {
    const int64_t holder = parent > 0 ? index().unitHolding(parent) : -1;
    use_list = holder >= 0;
    if (use_list) {
      // The children of an element inside a lazy unit are in the same unit.
      listed.clear();
      listed_at = 0;
      decoded = elements->unit(holder);
      decoded_unit = holder;
      for (size_t i = 0; i < decoded->rows.size(); ++i) {
        const int64_t row_id = decoded->first_id + int64_t(i);
        if (decoded->rows[i].parent_id == parent && row_id >= low && row_id <= high) listed.push_back(row_id);
      }
      if (descending) std::reverse(listed.begin(), listed.end());
      row_unit = holder;
    } else {
      stored.startChildren(parent, low, high, descending);
      stored_next = stored.nextChild();
      startUnits(descending ? high : low);
    }
    nextChild();
  }

  void next() {
    if (eof) return;
    if (by_parent) {
      nextChild();
      return;
    }
    if (descending ? id <= low : id >= high) {
      eof = true;
      return;
    }
    const int64_t next_id = descending ? id - 1 : id + 1;
    // Inside the same unit the next row needs no search.
    if (row_unit >= 0 && decoded && decoded_unit == row_unit && decoded->first_id <= next_id &&
        next_id < decoded->first_id + int64_t(decoded->rows.size())) {
      id = next_id;
      row_is_unit = next_id == decoded->first_id;
      row_loaded = false;
      lazy_row = nullptr;
    } else {
      locate(next_id);
    }
    if (table->numbers) skipUnnumbered();
  }

  int64_t sequenceNumber() {
    if (!load()) return -1;
    return row_unit >= 0 ? decoded->sequenceNumber(id) : stored_row.seq_num;
  }

  // elements_seq_num holds only the rows that have a number.
  void skipUnnumbered() {
    while (!eof && sequenceNumber() < 0) {
      if (descending ? id <= low : id >= high) {
        eof = true;
        return;
      }
      locate(descending ? id - 1 : id + 1);
    }
  }
};

// A constraint's value as the integer columns compare with it: SQLite orders NULL before every
// number, which compares with nothing, and text or a blob after every number.
struct Operand {
  enum class Kind { Number, Null, AboveNumbers } kind = Kind::Null;
  double number = 0;  // exact for every id; an integer beyond 2^53 is only rounded
  int64_t integer = 0;
  bool is_integer = false;
};

Operand operand(sqlite3_value* value) {
  Operand o;
  const int type = sqlite3_value_numeric_type(value);
  if (type == SQLITE_INTEGER) {
    o.kind = Operand::Kind::Number;
    o.integer = sqlite3_value_int64(value);
    o.number = double(o.integer);
    o.is_integer = true;
  } else if (type == SQLITE_FLOAT) {
    o.kind = Operand::Kind::Number;
    o.number = sqlite3_value_double(value);
  } else if (type != SQLITE_NULL) {
    o.kind = Operand::Kind::AboveNumbers;
  }
  return o;
}

// Ids are far inside these; a bound beyond them is one no id reaches.
constexpr int64_t kFarBelow = -(int64_t(1) << 62), kFarAbove = int64_t(1) << 62;

int64_t clampedInteger(double value) {
  if (!(value > double(kFarBelow))) return kFarBelow;  // NaN too: it matches nothing anyway
  if (value > double(kFarAbove)) return kFarAbove;
  return int64_t(value);
}

// The least integer id that `id > o` (strict) or `id >= o` lets through.
int64_t lowestAllowed(const Operand& o, bool strict) {
  if (o.kind != Operand::Kind::Number) return kFarAbove;  // nothing is above text, NULL matches nothing
  if (o.is_integer) return strict ? (o.integer >= kFarAbove ? kFarAbove : o.integer + 1) : o.integer;
  const double whole = strict ? std::floor(o.number) + 1 : std::ceil(o.number);
  return clampedInteger(whole);
}

// The greatest integer id that `id < o` (strict) or `id <= o` lets through.
int64_t highestAllowed(const Operand& o, bool strict) {
  if (o.kind == Operand::Kind::AboveNumbers) return kFarAbove;
  if (o.kind == Operand::Kind::Null) return kFarBelow;
  if (o.is_integer) return strict ? (o.integer <= kFarBelow ? kFarBelow : o.integer - 1) : o.integer;
  const double whole = strict ? std::ceil(o.number) - 1 : std::floor(o.number);
  return clampedInteger(whole);
}

// The integer that `column = o` matches, or false when no integer does.
bool equalInteger(const Operand& o, int64_t* out) {
  if (o.kind != Operand::Kind::Number) return false;
  if (o.is_integer) {
    *out = o.integer;
    return true;
  }
  if (std::floor(o.number) != o.number) return false;
  *out = clampedInteger(o.number);
  return true;
}

int connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  const bool numbers = argc > 3 && std::string(argv[3]) == "seq_num";
  const char* schema = numbers ? "CREATE TABLE x(id INTEGER, seq_num INTEGER)"
                               : "CREATE TABLE x(id INTEGER, level INTEGER, parent_id INTEGER, last_child_id INTEGER, "
                                 "name_id INTEGER, \"offset\" INTEGER, size INTEGER, raw_value TEXT, hrf_value TEXT)";
  const int rc = sqlite3_declare_vtab(db, schema);
  if (rc != SQLITE_OK) {
    *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
    return rc;
  }
  auto* table = new Table;
  table->db = db;
  table->elements = *static_cast<std::shared_ptr<LazyElements>*>(aux);
  table->numbers = numbers;
  *out = &table->base;
  return SQLITE_OK;
}

int disconnect(sqlite3_vtab* base) {
  delete reinterpret_cast<Table*>(base);
  return SQLITE_OK;
}

int bestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
  const Table* table = reinterpret_cast<const Table*>(base);
  int equal = -1, lower = -1, upper = -1, parent = -1;
  bool lower_strict = false, upper_strict = false;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable) continue;
    const bool on_id = c.iColumn == kId || c.iColumn == -1;
    if (on_id && c.op == SQLITE_INDEX_CONSTRAINT_EQ && equal < 0) equal = i;
    if (on_id && (c.op == SQLITE_INDEX_CONSTRAINT_GE || c.op == SQLITE_INDEX_CONSTRAINT_GT) && lower < 0) {
      lower = i;
      lower_strict = c.op == SQLITE_INDEX_CONSTRAINT_GT;
    }
    if (on_id && (c.op == SQLITE_INDEX_CONSTRAINT_LE || c.op == SQLITE_INDEX_CONSTRAINT_LT) && upper < 0) {
      upper = i;
      upper_strict = c.op == SQLITE_INDEX_CONSTRAINT_LT;
    }
    if (!table->numbers && c.iColumn == kParentId && c.op == SQLITE_INDEX_CONSTRAINT_EQ && parent < 0) parent = i;
  }
  int plan = 0, next_argument = 1;
  // The cursor gives exactly the rows these constraints allow, so SQLite need not check them
  // again: a read of many ids then asks for no column but the id.
  const auto use = [&](int constraint, int bit) {
    if (constraint < 0) return;
    info->aConstraintUsage[constraint].argvIndex = next_argument++;
    info->aConstraintUsage[constraint].omit = 1;
    plan |= bit;
  };
  const double count = double(std::max<int64_t>(table->elements->elementCount(), 1));
  if (equal >= 0) {
    use(equal, kIdEqual);
    info->estimatedCost = 1;
    info->estimatedRows = 1;
    info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
  } else {
    use(lower, kIdLower | (lower_strict ? kIdLowerStrict : 0));
    use(upper, kIdUpper | (upper_strict ? kIdUpperStrict : 0));
    use(parent, kParentEqual);
    double rows = count;
    if (lower >= 0) rows /= 4;
    if (upper >= 0) rows /= 4;
    if (parent >= 0) rows = std::min(rows, 20.0);
    info->estimatedRows = int64_t(rows) + 1;
    info->estimatedCost = rows + 1;
  }
  if (info->nOrderBy == 1 && (info->aOrderBy[0].iColumn == kId || info->aOrderBy[0].iColumn == -1)) {
    info->orderByConsumed = 1;
    if (info->aOrderBy[0].desc) plan |= kDescending;
  }
  info->idxNum = plan;
  return SQLITE_OK;
}

int open(sqlite3_vtab* base, sqlite3_vtab_cursor** out) {
  auto* cursor = new Cursor(reinterpret_cast<Table*>(base));
  *out = &cursor->base;
  return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* base) {
  delete reinterpret_cast<Cursor*>(base);
  return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* base, int plan, const char*, int argc, sqlite3_value** argv) {
  Cursor& c = *reinterpret_cast<Cursor*>(base);
  const int64_t last = c.elements->elementCount();
  c.descending = (plan & kDescending) != 0;
  c.by_parent = false;
  c.low = 1;
  c.high = last;
  c.eof = false;
  c.decoded.reset();
  c.decoded_unit = -1;
  // SQLite leaves these constraints to the cursor (bestIndex omits them): the rows must be exact.
  bool ok = true;
  int at = 0;
  const auto next_operand = [&]() { return at < argc ? operand(argv[at++]) : (ok = false, Operand()); };
  if (plan & kIdEqual) {
    int64_t id = 0;
    ok = equalInteger(next_operand(), &id) && ok;
    c.low = std::max(c.low, id);
    c.high = std::min(c.high, id);
  }
  if (plan & kIdLower) c.low = std::max(c.low, lowestAllowed(next_operand(), (plan & kIdLowerStrict) != 0));
  if (plan & kIdUpper) c.high = std::min(c.high, highestAllowed(next_operand(), (plan & kIdUpperStrict) != 0));
  if (plan & kParentEqual) {
    ok = equalInteger(next_operand(), &c.parent) && ok;
    c.by_parent = true;
  }
  if (!ok || c.low > c.high) {
    c.eof = true;
    return SQLITE_OK;
  }
  if (c.by_parent) {
    c.startChildren();
    return SQLITE_OK;
  }
  c.locate(c.descending ? c.high : c.low);
  if (c.table->numbers) c.skipUnnumbered();
  return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* base) {
  reinterpret_cast<Cursor*>(base)->next();
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* base) {
  return reinterpret_cast<Cursor*>(base)->eof ? 1 : 0;
}

void resultText(sqlite3_context* context, std::string_view text) {
  sqlite3_result_text(context, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

// One column of a row, stored or decoded again: both have the same fields, their texts kept apart.
template <typename AnyRow>
void resultColumn(sqlite3_context* context, int column_index, const AnyRow& r, std::string_view raw_value,
                  std::string_view hrf_value) {
  switch (column_index) {
    case kLevel: sqlite3_result_int64(context, r.level); break;
    case kParentId: sqlite3_result_int64(context, r.parent_id); break;
    case kLastChildId: sqlite3_result_int64(context, r.last_child_id); break;
    case kNameId: sqlite3_result_int64(context, r.name_id); break;
    case kOffset: sqlite3_result_int64(context, r.offset); break;
    case kSize: sqlite3_result_int64(context, r.size); break;
    case kRawValue: resultText(context, raw_value); break;
    case kHrfValue: resultText(context, hrf_value); break;
    default: sqlite3_result_null(context);
  }
}

int column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column_index) {
  Cursor& c = *reinterpret_cast<Cursor*>(base);
  if (column_index == kId) {
    sqlite3_result_int64(context, c.id);
    return SQLITE_OK;
  }
  if (c.table->numbers) {
    sqlite3_result_int64(context, c.sequenceNumber());
    return SQLITE_OK;
  }
  // A unit's own element: its place is in the index.
  if (c.row_is_unit && (column_index == kParentId || column_index == kLevel)) {
    sqlite3_result_int64(context, column_index == kParentId ? c.elements->index().parentOf(c.row_unit)
                                                             : c.elements->index().levelOf(c.row_unit));
    return SQLITE_OK;
  }
  if (!c.load()) {
    sqlite3_result_null(context);
    return SQLITE_OK;
  }
  if (c.lazy_row) {
    const BlockRow& r = *c.lazy_row;
    resultColumn(context, column_index, r, c.decoded->textOf(r.raw_value), c.decoded->textOf(r.hrf_value));
  } else {
    const Row& r = c.stored_row;
    resultColumn(context, column_index, r, r.raw_value, r.hrf_value);
  }
  return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out) {
  *out = reinterpret_cast<Cursor*>(base)->id;
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
  delete static_cast<std::shared_ptr<LazyElements>*>(aux);
}

}  // namespace

bool install(sqlite3* db, std::shared_ptr<LazyElements> elements, QString* error) {
  const std::string sequence =
      "INSERT INTO sqlite_sequence (name, seq) VALUES ('elements', " + std::to_string(elements->elementCount()) + ")";
  return ElementDatabase::installModule(db, kModuleName, &kModule,
                                        new std::shared_ptr<LazyElements>(std::move(elements)), destroyAux,
                                        {"ALTER TABLE elements RENAME TO stored_elements",
                                         "ALTER TABLE elements_seq_num RENAME TO stored_seq_num",
                                         "DELETE FROM sqlite_sequence WHERE name IN ('elements', 'stored_elements')",
                                         "CREATE VIRTUAL TABLE elements USING corvanta_lazy(elements)",
                                         "CREATE VIRTUAL TABLE elements_seq_num USING corvanta_lazy(seq_num)",
                                         sequence.c_str()},
                                        error);
}

}  // namespace corvanta::LazyElementTable
