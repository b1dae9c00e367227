#include "TimingWriter.h"

#include "PackedFrames.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>

namespace corvanta {

namespace {

constexpr int kIdBits = 56;
constexpr uint64_t kIdMask = (uint64_t{1} << kIdBits) - 1;
constexpr int kOffsetBits = 48;
constexpr uint64_t kOffsetMask = (uint64_t{1} << kOffsetBits) - 1;

// The flags in the top byte of a frame row's first word: a packed frame's.
constexpr uint8_t kHasDts = PackedFrames::kHasDts;
constexpr uint8_t kHasPts = PackedFrames::kHasPts;
constexpr uint8_t kHasDuration = PackedFrames::kHasDuration;
constexpr uint8_t kKeyKnown = PackedFrames::kKeyKnown;
constexpr uint8_t kKey = PackedFrames::kKey;
constexpr int kPictureShift = PackedFrames::kPictureShift;

const char* const kKindWords[] = {"video", "audio", "subtitle", "data", "pcr"};

uint8_t pictureCode(char type) {
  switch (type) {
    case 'I': return 1;
    case 'P': return 2;
    case 'B': return 3;
    default: return 0;
  }
}

// A prepared statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement, nullptr); }
  ~Statement() { sqlite3_finalize(statement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ready() const { return statement != nullptr; }
  void integer(int column, int64_t value) { sqlite3_bind_int64(statement, column, value); }
  void integerOrNull(int column, int64_t value, bool known) {
    if (known)
      sqlite3_bind_int64(statement, column, value);
    else
      sqlite3_bind_null(statement, column);
  }
  void textOrNull(int column, const char* text, size_t length) {
    if (text && length > 0)
      sqlite3_bind_text(statement, column, text, static_cast<int>(length), SQLITE_STATIC);
    else
      sqlite3_bind_null(statement, column);
  }
  bool step() {
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    return done;
  }

 private:
  sqlite3_stmt* statement = nullptr;
};

bool failWith(sqlite3* db, QString* error) {
  if (error)
    *error = QStringLiteral("database error while writing the timing tables: %1").arg(QString::fromUtf8(sqlite3_errmsg(db)));
  return false;
}

}  // namespace

char TimingWriter::pictureLetter(std::string_view type) {
  static constexpr std::string_view intra[] = {"I", "IDR", "CRA", "BLA", "KEY", "INTRA_ONLY", "SI"};
  static constexpr std::string_view predicted[] = {"P", "SP", "INTER"};
  for (std::string_view word : intra)
    if (type == word) return 'I';
  for (std::string_view word : predicted)
    if (type == word) return 'P';
  return type == "B" ? 'B' : 0;
}

TimingWriter::TimingWriter(bool enabled) : is_enabled(enabled) {}

TimingWriter::~TimingWriter() = default;

int TimingWriter::declareStream(const Stream& stream) {
  if (!is_enabled || streams.size() >= size_t(kMaxStreams))
    return 0;
  streams.push_back(stream);
  return static_cast<int>(streams.size());
}

void TimingWriter::setCodec(int stream, std::string_view codec) {
  if (stream > 0 && stream <= streamCount())
    streams[size_t(stream - 1)].codec.assign(codec.data(), codec.size());
}

TimingWriter::FrameRow& TimingWriter::row(int64_t handle) {
  return chunks[size_t(handle) / kRowsPerChunk][size_t(handle) % kRowsPerChunk];
}

const TimingWriter::FrameRow& TimingWriter::row(int64_t handle) const {
  return chunks[size_t(handle) / kRowsPerChunk][size_t(handle) % kRowsPerChunk];
}

int64_t TimingWriter::addFrame(int stream, const Frame& frame) {
  if (!is_enabled || stream <= 0 || stream > streamCount() || frame.element_id <= 0)
    return -1;
  if (size_t(frame_count) / kRowsPerChunk >= chunks.size())
    chunks.push_back(std::make_unique<FrameRow[]>(kRowsPerChunk));
  const int64_t handle = frame_count++;
  FrameRow& r = row(handle);
  uint8_t flags = uint8_t(pictureCode(frame.picture_type) << kPictureShift);
  if (frame.dts != kUnknown) flags |= kHasDts;
  if (frame.pts != kUnknown) flags |= kHasPts;
  if (frame.key >= 0) flags |= kKeyKnown | (frame.key > 0 ? kKey : 0);
  r.id_and_flags = (uint64_t(frame.element_id) & kIdMask) | (uint64_t(flags) << kIdBits);
  r.offset_and_stream = (uint64_t(std::max<int64_t>(frame.byte_offset, 0)) & kOffsetMask) |
                        (uint64_t(stream) << kOffsetBits);
  r.dts = frame.dts;
  r.pts = frame.pts;
  r.duration = 0;
  r.size = 0;
  setFrameSize(handle, frame.size);
  setFrameDuration(handle, frame.duration);
  return handle;
}

void TimingWriter::setFrameSize(int64_t handle, int64_t size) {
  if (handle < 0 || handle >= frame_count)
    return;
  row(handle).size = uint32_t(std::clamp<int64_t>(size, 0, std::numeric_limits<uint32_t>::max()));
}

void TimingWriter::setFrameKey(int64_t handle, int key) {
  if (handle < 0 || handle >= frame_count)
    return;
  FrameRow& r = row(handle);
  r.id_and_flags &= ~(uint64_t(kKeyKnown | kKey) << kIdBits);
  if (key >= 0)
    r.id_and_flags |= uint64_t(kKeyKnown | (key > 0 ? kKey : 0)) << kIdBits;
}

void TimingWriter::setFrameDuration(int64_t handle, int64_t duration) {
  if (handle < 0 || handle >= frame_count)
    return;
  FrameRow& r = row(handle);
  const bool fits = duration != kUnknown && duration >= std::numeric_limits<int32_t>::min() &&
                    duration <= std::numeric_limits<int32_t>::max();
  r.duration = fits ? int32_t(duration) : 0;
  if (fits)
    r.id_and_flags |= uint64_t(kHasDuration) << kIdBits;
  else
    r.id_and_flags &= ~(uint64_t(kHasDuration) << kIdBits);
}

std::shared_ptr<const PackedFrames> TimingWriter::takePackedFrames() {
  auto packed = std::make_shared<PackedFrames>();
  for (int64_t handle = 0; handle < frame_count; ++handle) {
    const FrameRow& r = row(handle);
    PackedFrames::Row p;
    p.flags = uint8_t(r.id_and_flags >> kIdBits);
    p.element_id = int64_t(r.id_and_flags & kIdMask);
    p.stream = int(r.offset_and_stream >> kOffsetBits);
    p.byte_offset = int64_t(r.offset_and_stream & kOffsetMask);
    p.size = int64_t(r.size);
    p.dts = r.dts;
    p.pts = r.pts;
    p.duration = r.duration;
    packed->append(p);
    // Each chunk of rows goes once packed, so that both are never held whole.
    if ((handle + 1) % int64_t(kRowsPerChunk) == 0) chunks[size_t(handle) / kRowsPerChunk].reset();
  }
  chunks.clear();
  frame_count = 0;
  return packed;
}

void TimingWriter::addFault(int64_t element_id, int stream, const char* check_name, int priority,
                            std::string detail) {
  if (!is_enabled || faults.size() >= kMaxFaults || !check_name)
    return;
  faults.push_back({element_id, stream, priority, check_name, std::move(detail)});
}

bool TimingWriter::write(sqlite3* db, QString* error) const {
  if (!is_enabled)
    return true;
  Statement stream_insert(db, "INSERT INTO streams (stream, kind, codec, container_id, container_id_name,"
                              " time_base_num, time_base_den) VALUES (?, ?, ?, ?, ?, ?, ?)");
  Statement frame_insert(db, "INSERT INTO frames (element_id, stream, byte_offset, size, dts, pts, duration, key,"
                             " picture_type) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  Statement fault_insert(db, "INSERT INTO faults (element_id, stream, check_name, priority, detail)"
                             " VALUES (?, ?, ?, ?, ?)");
  if (!stream_insert.ready() || !frame_insert.ready() || !fault_insert.ready())
    return failWith(db, error);

  for (size_t i = 0; i < streams.size(); ++i) {
    const Stream& s = streams[i];
    const char* kind = kKindWords[std::min<size_t>(size_t(s.kind), 4)];
    const bool timed = s.time_base_num > 0 && s.time_base_den > 0;
    stream_insert.integer(1, int64_t(i + 1));
    stream_insert.textOrNull(2, kind, std::char_traits<char>::length(kind));
    stream_insert.textOrNull(3, s.codec.data(), s.codec.size());
    stream_insert.integerOrNull(4, s.container_id, s.container_id != kUnknown);
    stream_insert.textOrNull(5, s.container_id_name.data(), s.container_id_name.size());
    stream_insert.integerOrNull(6, s.time_base_num, timed);
    stream_insert.integerOrNull(7, s.time_base_den, timed);
    if (!stream_insert.step())
      return failWith(db, error);
  }

  for (int64_t handle = 0; handle < frame_count; ++handle) {
    const FrameRow& r = row(handle);
    const uint8_t flags = uint8_t(r.id_and_flags >> kIdBits);
    const char* picture = PackedFrames::pictureType(flags);
    frame_insert.integer(1, int64_t(r.id_and_flags & kIdMask));
    frame_insert.integer(2, int64_t(r.offset_and_stream >> kOffsetBits));
    frame_insert.integer(3, int64_t(r.offset_and_stream & kOffsetMask));
    frame_insert.integer(4, int64_t(r.size));
    frame_insert.integerOrNull(5, r.dts, flags & kHasDts);
    frame_insert.integerOrNull(6, r.pts, flags & kHasPts);
    frame_insert.integerOrNull(7, r.duration, flags & kHasDuration);
    frame_insert.integerOrNull(8, (flags & kKey) ? 1 : 0, flags & kKeyKnown);
    frame_insert.textOrNull(9, picture, picture ? 1 : 0);
    if (!frame_insert.step())
      return failWith(db, error);
  }

  for (const Fault& fault : faults) {
    fault_insert.integer(1, fault.element_id);
    fault_insert.integerOrNull(2, fault.stream, fault.stream > 0);
    fault_insert.textOrNull(3, fault.check_name, std::char_traits<char>::length(fault.check_name));
    fault_insert.integer(4, fault.priority);
    fault_insert.textOrNull(5, fault.detail.data(), fault.detail.size());
    if (!fault_insert.step())
      return failWith(db, error);
  }
  return true;
}

}  // namespace corvanta
