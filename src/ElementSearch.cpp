#include "ElementSearch.h"

#include "ElementNames.h"

#include "TextMatchFunction.h"
#include "ViewerDatabase.h"

#include "ElementDatabase.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace {

// The text match folds ASCII letters only, so the needle must be folded the same way.
QByteArray foldedAscii(const QString& text) {
  QByteArray folded = text.toUtf8();
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z')
      c = char(c - 'A' + 'a');
  return folded;
}

bool nameMatches(const QString& name, const QString& text, bool whole) {
  return whole ? name.compare(text, Qt::CaseInsensitive) == 0 : name.contains(text, Qt::CaseInsensitive);
}

QString idList(const std::vector<qint64>& ids) {
  QStringList parts;
  for (const qint64 id : ids)
    parts.append(QString::number(id));
  return parts.join(QLatin1Char(','));
}

}  // namespace

ElementSearch::ElementSearch(const QSqlDatabase& connection, const QString& text, bool whole, bool backward,
                             qint64 from_id, qint64 last_id)
    : connection(connection), backward(backward) {
  if (text.isEmpty() || last_id < 1 || !connection.isOpen()) {
    current_state = State::NotFound;
    return;
  }
  needle = QString::fromUtf8(foldedAscii(text));
  match_whole = whole;
  matchNames(text, whole);
  if (!registerTextMatchFunction(corvanta::ElementDatabase::handle(connection)) || !prepareQuery()) {
    current_state = State::NotFound;
    return;
  }

  from_id = std::clamp<qint64>(from_id, 1, last_id);
  if (backward)
    ranges = {{from_id - 1, 1}, {last_id, from_id}};
  else
    ranges = {{from_id + 1, last_id}, {1, from_id}};
  next_id = ranges[0].first;
  total = last_id;
}

void ElementSearch::matchNames(const QString& text, bool whole) {
  static const QRegularExpression numbered(QStringLiteral("^(.*)-([0-9]{1,18})$"));
  const QRegularExpressionMatch numbered_match = numbered.match(text);
  const QString numbered_name = numbered_match.hasMatch() ? numbered_match.captured(1) : QString();
  if (numbered_match.hasMatch())
    seq_number = numbered_match.captured(2).toLongLong();

  QSqlQuery query(connection);
  query.setForwardOnly(true);
  if (!query.exec(QStringLiteral("SELECT `id`, `name` FROM `dictionary`")))
    return;
  while (query.next()) {
    const qint64 id = query.value(0).toLongLong();
    // The names as the tree shows them.
    QString name = sanitizeText(query.value(1).toString());
    if (name.isEmpty())
      name = QStringLiteral("(empty)");
    else if (name == kGarbageName)
      name = QStringLiteral("GARBAGE");
    if (nameMatches(name, text, whole))
      name_ids.push_back(id);
    if (seq_number >= 0 && !numbered_name.isEmpty() && nameMatches(name, numbered_name, whole))
      seq_name_ids.push_back(id);
  }
}

QString ElementSearch::buildSql(bool descending) const {
  QString condition =
      QStringLiteral("corvanta_text_match(`raw_value`, ?, ?) OR corvanta_text_match(`hrf_value`, ?, ?)");
  if (!name_ids.empty())
    condition = QStringLiteral("`name_id` IN (%1) OR ").arg(idList(name_ids)) + condition;
  if (!seq_name_ids.empty())
    // A lookup by id for the rows of a matching name only: a subquery over all sequence
    // numbers would be run again for every block.
    condition += QStringLiteral(" OR (`name_id` IN (%1) AND EXISTS (SELECT 1 FROM `elements_seq_num` AS s "
                                "WHERE s.`id` = `elements`.`id` AND s.`seq_num` = %2))")
                     .arg(idList(seq_name_ids))
                     .arg(seq_number);
  return QStringLiteral("SELECT `id` FROM `elements` WHERE `id` >= ? AND `id` <= ? AND (%1) ORDER BY `id` %2 LIMIT 1")
      .arg(condition, descending ? QStringLiteral("DESC") : QStringLiteral("ASC"));
}

bool ElementSearch::prepareQuery() {
  query = QSqlQuery(connection);
  query.setForwardOnly(true);
  return query.prepare(buildSql(backward));
}

int ElementSearch::percent() const {
  if (total <= 0)
    return 100;
  return int(std::min<qint64>(100, looked_at * 100 / total));
}

// Looks at the next block of ids; true when the search has ended.
bool ElementSearch::searchBlock() {
  while (range_index < ranges.size()) {
    const Range& range = ranges[range_index];
    const bool empty = backward ? next_id < range.last : next_id > range.last;
    if (!empty)
      break;
    ++range_index;
    if (range_index < ranges.size())
      next_id = ranges[range_index].first;
  }
  if (range_index >= ranges.size()) {
    current_state = State::NotFound;
    return true;
  }
  const Range& range = ranges[range_index];
  const qint64 low = backward ? std::max(range.last, next_id - current_block_ids + 1) : next_id;
  const qint64 high = backward ? next_id : std::min(range.last, next_id + current_block_ids - 1);

  query.bindValue(0, QVariant(qlonglong(low)));
  query.bindValue(1, QVariant(qlonglong(high)));
  for (int column = 0; column < 2; ++column) {
    query.bindValue(2 + 2 * column, needle);
    query.bindValue(3 + 2 * column, QVariant(match_whole ? 1 : 0));
  }
  if (!query.exec()) {
    current_state = State::NotFound;
    return true;
  }
  const bool found = query.next();
  if (found)
    found_id = query.value(0).toLongLong();
  query.finish();
  if (found) {
    current_state = State::Found;
    return true;
  }
  looked_at += high - low + 1;
  next_id = backward ? low - 1 : high + 1;
  return false;
}

ElementSearch::State ElementSearch::step(int milliseconds) {
  if (current_state != State::Running)
    return current_state;
  QElapsedTimer timer;
  timer.start();
  do {
    const qint64 block_start = timer.elapsed();
    if (searchBlock())
      break;
    paceBlocks(timer.elapsed() - block_start, milliseconds);
  } while (timer.elapsed() < milliseconds);
  return current_state;
}

void ElementSearch::paceBlocks(qint64 block_milliseconds, int step_milliseconds) {
  // Blocks smaller than this cost more in queries than they give back in answering.
  const qint64 smallest = 4096;
  if (block_milliseconds > step_milliseconds && current_block_ids > smallest)
    current_block_ids = std::max(smallest, current_block_ids / 2);
  else if (block_milliseconds * 4 < step_milliseconds && current_block_ids < block_ids)
    current_block_ids = std::min(block_ids, current_block_ids * 2);
}
