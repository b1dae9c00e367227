#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QtGlobal>

#include <vector>

// A search of the element names and values (raw and readable) for a text, ignoring
// case, from one element on through the whole tree, wrapping once. It runs in steps so
// that the caller can keep a window alive and offer a cancel between them.
//
// The names are matched once, in the small dictionary; a step then runs one indexed
// range query per block of ids, comparing only name ids and the two value columns
// (through a text match function much cheaper than LIKE).
// A text of the form NAME-N also finds the element NAME with sequence number N, as
// the tree shows it.
class ElementSearch {
 public:
  enum class State { Running, Found, NotFound };

  // Searches the elements after `from_id` (before it when `backward`), then wraps round
  // to end with `from_id` itself. `whole` asks for the whole name or value to match.
  ElementSearch(const QSqlDatabase& connection, const QString& text, bool whole, bool backward,
                qint64 from_id, qint64 last_id);

  // Searches for about `milliseconds`, at least one block of ids.
  State step(int milliseconds);
  State state() const { return current_state; }
  qint64 foundId() const { return found_id; }
  // Share of the elements looked at so far, 0 to 100.
  int percent() const;

  // Ids compared per range query at most; a step runs at least one. Where a block takes
  // longer than a step (elements decoded from the file as they are read), blocks shrink so
  // that the caller's window is served between them, and grow back when they are quick.
  void setBlockIds(qint64 ids) { block_ids = current_block_ids = qMax<qint64>(ids, 1); }

 private:
  struct Range {
    qint64 first;
    qint64 last;
  };

  void matchNames(const QString& text, bool whole);
  QString buildSql(bool backward) const;
  bool prepareQuery();
  bool searchBlock();
  void paceBlocks(qint64 block_milliseconds, int step_milliseconds);

  QSqlDatabase connection;
  QString needle;  // ASCII letters in lower case, as the text match wants it
  bool match_whole = false;
  std::vector<qint64> name_ids;
  std::vector<qint64> seq_name_ids;
  qint64 seq_number = -1;
  QSqlQuery query;  // prepared once, run once per block
  bool backward;
  std::vector<Range> ranges;
  size_t range_index = 0;
  qint64 next_id = 0;  // the next id to look at within ranges[range_index]
  qint64 total = 0;
  qint64 looked_at = 0;
  qint64 found_id = 0;
  qint64 block_ids = 65536;
  qint64 current_block_ids = 65536;
  State current_state = State::Running;
};
