#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <vector>

// The timing tables of an element database (`streams`, `frames`, `faults`) read once,
// whole, into memory. Frames are kept grouped by stream, each stream's frames in decode
// (file) order, so that a stream is one contiguous run of the frame vector. A frame takes
// 40 bytes; the byte offsets that only the PCR accuracy needs are kept for "pcr" streams
// alone.
class TimingTables {
 public:
  static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

  // a - b, held at the ends of qint64 instead of overflowing: times come from the file.
  static qint64 difference(qint64 a, qint64 b) {
    qint64 result;
    if (!__builtin_sub_overflow(a, b, &result))
      return result;
    return a < b ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
  }

  struct Frame {
    qint64 element_id = 0;
    qint64 dts = kNoTime;  // ticks of the stream's time base
    qint64 pts = kNoTime;
    quint32 size = 0;      // bytes
    qint32 duration = -1;  // ticks, -1 unknown
    qint8 key = -1;        // 1 key frame, 0 not, -1 unknown
    char picture_type = 0; // 'I', 'P', 'B' or 0

    bool hasDts() const { return dts != kNoTime; }
    bool hasPts() const { return pts != kNoTime; }
    // The frame's decode time, or its presentation time where the container gives only that.
    qint64 decodeOrPresentation() const { return hasDts() ? dts : pts; }
  };

  struct Stream {
    int number = 0;
    QString kind;
    QString codec;
    qint64 container_id = -1;  // -1: none
    QString container_id_name;
    qint64 time_base_num = 0;  // both 0: no time known
    qint64 time_base_den = 0;
    size_t first = 0;  // index of the stream's first frame in frames()
    size_t count = 0;
    std::vector<qint64> byte_offsets;  // "pcr" streams only, one per frame

    bool hasTimeBase() const { return time_base_num > 0 && time_base_den > 0; }
    double secondsPerTick() const { return hasTimeBase() ? double(time_base_num) / double(time_base_den) : 0.0; }
    bool isPcr() const { return kind == QLatin1String("pcr"); }
  };

  struct Fault {
    qint64 element_id = 0;
    int stream = 0;  // 0: none
    QString check_name;
    int priority = 3;
    QString detail;
  };

  enum class State { NoConnection, NoTables, Empty, Loaded, Failed };

  TimingTables() = default;

  // Reads the three tables; a database without them (written by an older tool) or with
  // no frames gives NoTables or Empty and no error.
  State load(const QSqlDatabase& database);

  State state() const { return load_state; }
  // Why loading failed, for State::Failed.
  QString error() const { return load_error; }

  const std::vector<Stream>& streams() const { return stream_list; }
  const std::vector<Frame>& frames() const { return frame_list; }
  const std::vector<Fault>& faults() const { return fault_list; }

  // The stream with this number, or null.
  const Stream* stream(int number) const;
  const Frame* begin(const Stream& stream) const { return frame_list.data() + stream.first; }
  const Frame* end(const Stream& stream) const { return frame_list.data() + stream.first + stream.count; }

  // Memory held for the frames and the PCR byte offsets.
  size_t frameBytes() const;

  // Tests and benchmarks build tables by hand: adds a stream, then its frames in order.
  Stream& addStream(int number, const QString& kind, qint64 time_base_num, qint64 time_base_den);
  void addFrame(int stream_number, const Frame& frame, qint64 byte_offset = 0);
  void addFault(const Fault& fault) { fault_list.push_back(fault); }

 private:
  void clear();
  bool readStreams(void* db);
  bool readFrames(void* db);
  bool readFaults(void* db);
  int streamIndex(int number) const;

  State load_state = State::NoConnection;
  QString load_error;
  std::vector<Stream> stream_list;
  std::vector<Frame> frame_list;
  std::vector<Fault> fault_list;
};
