#include "DatabaseCheck.h"

#include "ElementDatabase.h"
#include "ElementWriter.h"

#include <sqlite3.h>

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

namespace corvanta {

namespace {

constexpr int kKeptProblems = 10;

// The statements the viewer runs, exactly as it runs them.
const char* const kViewerStatements[] = {
    "SELECT `id` FROM `open_elements` WHERE `id` = ?",
    "SELECT `level` FROM `elements` WHERE `id` = ?",
    "SELECT `parent_id` FROM `elements` WHERE `id` = ?",
    "SELECT `last_child_id` FROM `elements` WHERE `id` = ?",
    "INSERT INTO `open_elements` VALUES(?)",
    "DELETE FROM `open_elements` WHERE `id` = ?",
    "SELECT `id`, `last_child_id` FROM `elements` WHERE `parent_id` = ? ORDER BY `id`",
    "SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id`",
    "SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id, dictionary.name, "
    "elements.offset, elements.size, elements.raw_value, elements.hrf_value, elements_seq_num.seq_num "
    "FROM elements LEFT JOIN dictionary ON elements.name_id = dictionary.id LEFT JOIN elements_seq_num "
    "ON elements.id = elements_seq_num.id WHERE elements.id >= ? ORDER BY elements.id",
    "SELECT `seq` FROM `sqlite_sequence` WHERE `name` = \"elements\"",
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK; }
  ~Statement() { sqlite3_finalize(statement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return ok_; }
  bool next() { return ok_ && sqlite3_step(statement) == SQLITE_ROW; }
  int64_t integer(int column) const { return sqlite3_column_int64(statement, column); }
  QString text(int column) const {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
  }
  void bindText(int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }

 private:
  sqlite3_stmt* statement = nullptr;
  bool ok_ = false;
};

struct Ancestor {
  int64_t id;
  int64_t level;
  int64_t offset;
  int64_t end;
  int64_t declared_last_child;
  int64_t seen_last_child = 0;
};

class Checker {
 public:
  Checker(sqlite3* database, int64_t file_size_bits) : db(database), file_bits(file_size_bits) {}

  DatabaseReport run() {
    if (!db) {
      problem(QStringLiteral("no database"));
      return report;
    }
    checkStatements();
    checkChildrenIndex();
    checkOpenElements();
    loadGarbageNames();
    walkElements();
    checkSequenceRow();
    checkNames();
    checkSequenceNumbers();
    return report;
  }

 private:
  void problem(const QString& text) {
    ++report.problem_count;
    if (report.problems.size() < kKeptProblems)
      report.problems.append(text);
  }

  void checkStatements() {
    for (const char* sql : kViewerStatements) {
      Statement statement(db, sql);
      if (!statement.ok())
        problem(QStringLiteral("the viewer's statement \"%1\" fails: %2")
                    .arg(QString::fromUtf8(sql), QString::fromUtf8(sqlite3_errmsg(db))));
    }
  }

  void checkChildrenIndex() {
    Statement plan(db, "EXPLAIN QUERY PLAN SELECT `id`, `last_child_id` FROM `elements` WHERE `parent_id` = ? "
                       "ORDER BY `id`");
    bool indexed = false;
    while (plan.next())
      indexed = indexed || plan.text(3).contains(QLatin1String("INDEX"));
    if (plan.ok() && !indexed)
      problem(QStringLiteral("looking up the children of an element scans the table (no index on parent_id)"));
  }

  void checkOpenElements() {
    Statement columns(db, "SELECT name FROM pragma_table_info('open_elements')");
    QStringList names;
    while (columns.next())
      names.append(columns.text(0));
    if (names != QStringList{QStringLiteral("id")})
      problem(QStringLiteral("open_elements must have exactly the column id, has: %1").arg(names.join(", ")));
  }

  void loadGarbageNames() {
    Statement statement(db, "SELECT id FROM dictionary WHERE name = ?");
    statement.bindText(1, kGarbageName);
    while (statement.next())
      garbage_name_ids.insert(statement.integer(0));
  }

  void walkElements() {
    Statement rows(db, "SELECT id, level, parent_id, last_child_id, name_id, \"offset\", size FROM elements "
                       "ORDER BY id");
    if (!rows.ok()) {
      problem(QStringLiteral("cannot read elements: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
      return;
    }
    int64_t expected_id = 1;
    while (rows.next()) {
      const int64_t id = rows.integer(0);
      if (id != expected_id)
        problem(QStringLiteral("ids are not 1..N: expected %1, found %2").arg(expected_id).arg(id));
      expected_id = id + 1;
      ++report.element_count;
      checkElement(id, rows.integer(1), rows.integer(2), rows.integer(3), rows.integer(4), rows.integer(5),
                   rows.integer(6));
    }
    while (!stack.empty())
      leave();
    countCoverage();
  }

  void checkElement(int64_t id, int64_t level, int64_t parent_id, int64_t last_child_id, int64_t name_id,
                    int64_t offset, int64_t size) {
    if (offset < 0 || size < 0)
      problem(QStringLiteral("element %1 has offset %2 and size %3").arg(id).arg(offset).arg(size));
    const int64_t end = offset + std::max<int64_t>(size, 0);
    if (garbage_name_ids.count(name_id))
      report.garbage_bits += std::max<int64_t>(size, 0);

    if (parent_id == 0) {
      while (!stack.empty())
        leave();
      if (level != 0)
        problem(QStringLiteral("top-level element %1 has level %2").arg(id).arg(level));
      ++report.top_level_count;
      top_level.emplace_back(offset, end);
      if (file_bits >= 0 && (offset < 0 || end > file_bits))
        problem(QStringLiteral("top-level element %1 [%2, %3) runs outside the file of %4 bits")
                    .arg(id).arg(offset).arg(end).arg(file_bits));
    } else {
      while (!stack.empty() && stack.back().id != parent_id)
        leave();
      if (stack.empty()) {
        problem(QStringLiteral("element %1: its parent %2 is not an ancestor before it (not pre-order)")
                    .arg(id).arg(parent_id));
      } else {
        Ancestor& parent = stack.back();
        parent.seen_last_child = id;
        if (level != parent.level + 1)
          problem(QStringLiteral("element %1 has level %2 under parent %3 of level %4")
                      .arg(id).arg(level).arg(parent_id).arg(parent.level));
        if (offset < parent.offset || end > parent.end)
          problem(QStringLiteral("element %1 [%2, %3) lies outside its parent %4 [%5, %6)")
                      .arg(id).arg(offset).arg(end).arg(parent_id).arg(parent.offset).arg(parent.end));
      }
    }
    stack.push_back({id, level, offset, end, last_child_id});
  }

  void leave() {
    const Ancestor& element = stack.back();
    if (element.declared_last_child != element.seen_last_child)
      problem(QStringLiteral("element %1 has last_child_id %2, but its last child is %3")
                  .arg(element.id).arg(element.declared_last_child).arg(element.seen_last_child));
    stack.pop_back();
  }

  void countCoverage() {
    std::sort(top_level.begin(), top_level.end());
    int64_t covered_to = 0;
    for (auto [begin, end] : top_level) {
      if (file_bits >= 0)
        end = std::min(end, file_bits);
      begin = std::max(begin, covered_to);
      if (end > begin) {
        report.covered_bits += end - begin;
        covered_to = end;
      }
    }
  }

  void checkSequenceRow() {
    Statement sequence(db, "SELECT seq FROM sqlite_sequence WHERE name = 'elements'");
    if (!sequence.ok()) {
      problem(QStringLiteral("there is no sqlite_sequence table: elements.id is not AUTOINCREMENT"));
      return;
    }
    const bool has_row = sequence.next();
    const int64_t seq = has_row ? sequence.integer(0) : 0;
    if (seq != report.element_count)
      problem(QStringLiteral("sqlite_sequence says %1 elements, the table holds %2")
                  .arg(has_row ? QString::number(seq) : QStringLiteral("no row for"))
                  .arg(report.element_count));
  }

  void checkNames() {
    Statement orphans(db, "SELECT COUNT(*), MIN(id) FROM elements WHERE name_id IS NULL OR name_id NOT IN "
                          "(SELECT id FROM dictionary)");
    if (orphans.next() && orphans.integer(0) > 0)
      problem(QStringLiteral("%1 elements have a name_id without a dictionary row (first: element %2)")
                  .arg(orphans.integer(0)).arg(orphans.integer(1)));
  }

  void checkSequenceNumbers() {
    Statement duplicates(db, "SELECT id, COUNT(*) FROM elements_seq_num GROUP BY id HAVING COUNT(*) > 1");
    while (duplicates.next())
      problem(QStringLiteral("element %1 has %2 sequence number rows")
                  .arg(duplicates.integer(0)).arg(duplicates.integer(1)));
    if (garbage_name_ids.empty())
      return;
    Statement numbered_garbage(
        db, "SELECT s.id FROM elements_seq_num s JOIN elements e ON e.id = s.id JOIN dictionary d "
            "ON d.id = e.name_id WHERE d.name = ? AND s.seq_num IS NOT NULL");
    numbered_garbage.bindText(1, kGarbageName);
    while (numbered_garbage.next())
      problem(QStringLiteral("GARBAGE element %1 has a sequence number").arg(numbered_garbage.integer(0)));
  }

  sqlite3* db;
  int64_t file_bits;
  DatabaseReport report;
  std::unordered_set<int64_t> garbage_name_ids;
  std::vector<Ancestor> stack;
  std::vector<std::pair<int64_t, int64_t>> top_level;
};

}  // namespace

QString DatabaseReport::summary() const {
  QString text = QStringLiteral("%1 elements (%2 top-level), %3 bits covered, %4 bits of GARBAGE, %5 problems")
                     .arg(element_count).arg(top_level_count).arg(covered_bits).arg(garbage_bits)
                     .arg(problem_count);
  if (!problems.isEmpty())
    text += QStringLiteral(": ") + problems.join(QStringLiteral("; "));
  return text;
}

DatabaseReport checkDatabase(sqlite3* db, int64_t file_bits) {
  return Checker(db, file_bits).run();
}

DatabaseReport checkDatabase(const QSqlDatabase& db, int64_t file_bits) {
  return Checker(ElementDatabase::handle(db), file_bits).run();
}

}  // namespace corvanta
