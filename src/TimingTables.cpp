#include "TimingTables.h"

#include "ElementDatabase.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

// A prepared statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement, nullptr); }
  ~Statement() { sqlite3_finalize(statement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool valid() const { return statement != nullptr; }
  int step() { return sqlite3_step(statement); }
  bool isNull(int column) const { return sqlite3_column_type(statement, column) == SQLITE_NULL; }
  qint64 integer(int column, qint64 if_null) const {
    return isNull(column) ? if_null : sqlite3_column_int64(statement, column);
  }
  QString text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
  }
  char firstCharacter(int column) const {
    if (sqlite3_column_type(statement, column) != SQLITE_TEXT)
      return 0;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text && sqlite3_column_bytes(statement, column) > 0 ? text[0] : 0;
  }

 private:
  sqlite3_stmt* statement = nullptr;
};

constexpr qint64 kLargestTimeBase = qint64(1) << 40;

qint64 clampTo(qint64 value, qint64 low, qint64 high) {
  return std::min(std::max(value, low), high);
}

}  // namespace

TimingTables::State TimingTables::load(const QSqlDatabase& database) {
  clear();
  sqlite3* db = corvanta::ElementDatabase::handle(database);
  if (!db)
    return load_state = State::NoConnection;
  auto exists = [db](const char* name) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1, &statement,
                           nullptr) != SQLITE_OK)
      return false;
    sqlite3_bind_text(statement, 1, name, -1, SQLITE_STATIC);
    const bool found = sqlite3_step(statement) == SQLITE_ROW;
    sqlite3_finalize(statement);
    return found;
  };
  if (!exists("streams") || !exists("frames"))
    return load_state = State::NoTables;
  if (!readStreams(db) || !readFrames(db) || (exists("faults") && !readFaults(db))) {
    load_error = QString::fromUtf8(sqlite3_errmsg(db));
    clear();
    return load_state = State::Failed;
  }
  return load_state = frame_list.empty() ? State::Empty : State::Loaded;
}

void TimingTables::clear() {
  load_error.clear();
  stream_list.clear();
  frame_list.clear();
  frame_list.shrink_to_fit();
  fault_list.clear();
}

bool TimingTables::readStreams(void* handle) {
  auto* db = static_cast<sqlite3*>(handle);
  Statement query(db,
                  "SELECT stream, kind, codec, container_id, container_id_name, time_base_num, time_base_den "
                  "FROM streams ORDER BY stream");
  if (!query.valid())
    return false;
  int result;
  while ((result = query.step()) == SQLITE_ROW) {
    Stream stream;
    stream.number = int(clampTo(query.integer(0, 0), 0, 1 << 30));
    stream.kind = query.text(1);
    stream.codec = query.text(2);
    stream.container_id = query.integer(3, -1);
    stream.container_id_name = query.text(4);
    // Containers give time bases of 32 bits (Matroska's nanosecond scale fits too); larger
    // ones are not time bases, and arithmetic on them could overflow.
    stream.time_base_num = clampTo(query.integer(5, 0), 0, kLargestTimeBase);
    stream.time_base_den = clampTo(query.integer(6, 0), 0, kLargestTimeBase);
    stream_list.push_back(stream);
  }
  return result == SQLITE_DONE;
}

// Reads the frames in file order, then moves each stream's frames together, keeping
// their order.
bool TimingTables::readFrames(void* handle) {
  auto* db = static_cast<sqlite3*>(handle);
  qint64 rows = 0;
  {
    Statement count(db, "SELECT count(*) FROM frames");
    if (!count.valid() || count.step() != SQLITE_ROW)
      return false;
    rows = count.integer(0, 0);
  }
  Statement query(db,
                  "SELECT element_id, stream, byte_offset, size, dts, pts, duration, key, picture_type "
                  "FROM frames ORDER BY rowid");
  if (!query.valid())
    return false;

  std::vector<Frame> in_file_order;
  std::vector<quint32> stream_of;  // index into stream_list
  std::vector<qint64> offsets;     // for frames of "pcr" streams, in file order
  in_file_order.reserve(size_t(std::max<qint64>(rows, 0)));
  stream_of.reserve(in_file_order.capacity());
  int result;
  int last_number = -1;
  int last_index = -1;
  bool last_is_pcr = false;
  while ((result = query.step()) == SQLITE_ROW) {
    Frame frame;
    frame.element_id = query.integer(0, 0);
    const int number = int(clampTo(query.integer(1, 0), 0, 1 << 30));
    if (number != last_number) {
      last_number = number;
      last_index = streamIndex(number);
      if (last_index < 0) {
        // A frame of a stream the streams table does not declare still counts.
        Stream undeclared;
        undeclared.number = number;
        undeclared.kind = QStringLiteral("data");
        stream_list.push_back(undeclared);
        last_index = int(stream_list.size()) - 1;
      }
      last_is_pcr = stream_list[size_t(last_index)].isPcr();
    }
    frame.size = quint32(clampTo(query.integer(3, 0), 0, 0xFFFFFFFFLL));
    frame.dts = query.integer(4, kNoTime);
    frame.pts = query.integer(5, kNoTime);
    frame.duration = qint32(clampTo(query.integer(6, -1), -1, 0x7FFFFFFF));
    frame.key = qint8(query.isNull(7) ? -1 : (query.integer(7, 0) != 0 ? 1 : 0));
    frame.picture_type = query.firstCharacter(8);
    in_file_order.push_back(frame);
    stream_of.push_back(quint32(last_index));
    if (last_is_pcr)
      offsets.push_back(query.integer(2, 0));
  }
  if (result != SQLITE_DONE)
    return false;

  for (quint32 index : stream_of)
    ++stream_list[index].count;
  size_t first = 0;
  for (Stream& stream : stream_list) {
    stream.first = first;
    first += stream.count;
    if (stream.isPcr())
      stream.byte_offsets.reserve(stream.count);
  }
  frame_list.resize(in_file_order.size());
  std::vector<size_t> next(stream_list.size());
  for (size_t i = 0; i < stream_list.size(); ++i)
    next[i] = stream_list[i].first;
  size_t offset_index = 0;
  for (size_t i = 0; i < in_file_order.size(); ++i) {
    Stream& stream = stream_list[stream_of[i]];
    frame_list[next[stream_of[i]]++] = in_file_order[i];
    if (stream.isPcr())
      stream.byte_offsets.push_back(offsets[offset_index++]);
  }
  return true;
}

bool TimingTables::readFaults(void* handle) {
  auto* db = static_cast<sqlite3*>(handle);
  Statement query(db, "SELECT element_id, stream, check_name, priority, detail FROM faults ORDER BY rowid");
  if (!query.valid())
    return false;
  int result;
  while ((result = query.step()) == SQLITE_ROW) {
    Fault fault;
    fault.element_id = query.integer(0, 0);
    fault.stream = int(clampTo(query.integer(1, 0), 0, 1 << 30));
    fault.check_name = query.text(2);
    fault.priority = int(clampTo(query.integer(3, 3), 0, 9));
    fault.detail = query.text(4);
    fault_list.push_back(fault);
  }
  return result == SQLITE_DONE;
}

int TimingTables::streamIndex(int number) const {
  for (size_t i = 0; i < stream_list.size(); ++i)
    if (stream_list[i].number == number)
      return int(i);
  return -1;
}

const TimingTables::Stream* TimingTables::stream(int number) const {
  const int index = streamIndex(number);
  return index < 0 ? nullptr : &stream_list[size_t(index)];
}

size_t TimingTables::frameBytes() const {
  size_t bytes = frame_list.capacity() * sizeof(Frame);
  for (const Stream& stream : stream_list)
    bytes += stream.byte_offsets.capacity() * sizeof(qint64);
  return bytes;
}

TimingTables::Stream& TimingTables::addStream(int number, const QString& kind, qint64 time_base_num,
                                          qint64 time_base_den) {
  Stream stream;
  stream.number = number;
  stream.kind = kind;
  stream.time_base_num = time_base_num;
  stream.time_base_den = time_base_den;
  stream.first = frame_list.size();
  stream_list.push_back(stream);
  load_state = State::Loaded;
  return stream_list.back();
}

void TimingTables::addFrame(int stream_number, const Frame& frame, qint64 byte_offset) {
  const int index = streamIndex(stream_number);
  if (index < 0)
    return;
  Stream& stream = stream_list[size_t(index)];
  const size_t at = stream.first + stream.count;
  frame_list.insert(frame_list.begin() + std::ptrdiff_t(at), frame);
  ++stream.count;
  if (stream.isPcr())
    stream.byte_offsets.push_back(byte_offset);
  // Runs lie in the order of stream_list: every later stream moves up by one.
  for (size_t i = size_t(index) + 1; i < stream_list.size(); ++i)
    ++stream_list[i].first;
}
