#include "TimingFaults.h"

#include "StreamStatistics.h"

#include <cmath>
#include <map>

const char* const TimingFaults::kDtsBackwards = "DTS backwards";
const char* const TimingFaults::kDtsRepeated = "DTS repeated";
const char* const TimingFaults::kTimestampGap = "Timestamp gap";
const char* const TimingFaults::kPtsBeforeDts = "PTS before DTS";
const char* const TimingFaults::kStartOffset = "Audio/video start offset";
const char* const TimingFaults::kKeyFrameInterval = "Key-frame interval";

namespace {

TimingTables::Fault fault(const TimingTables::Frame& frame, const TimingTables::Stream& stream, const char* check,
                        const QString& detail) {
  TimingTables::Fault made;
  made.element_id = frame.element_id;
  made.stream = stream.number;
  made.check_name = QString::fromLatin1(check);
  made.priority = TimingFaults::kPriority;
  made.detail = detail;
  return made;
}

QString seconds(const TimingTables::Stream& stream, qint64 ticks) {
  return QStringLiteral("%1 s").arg(double(ticks) * stream.secondsPerTick(), 0, 'f', 3);
}

// The earliest presentation (else decode) time of a stream, with its frame; null if none.
const TimingTables::Frame* startFrame(const TimingTables& table, const TimingTables::Stream& stream) {
  const TimingTables::Frame* start = nullptr;
  for (const TimingTables::Frame* frame = table.begin(stream); frame != table.end(stream); ++frame) {
    const qint64 time = frame->hasPts() ? frame->pts : frame->dts;
    if (time == TimingTables::kNoTime)
      continue;
    if (!start || time < (start->hasPts() ? start->pts : start->dts))
      start = frame;
  }
  return start;
}

// Lists faults up to kListedPerCheck per check and stream and counts the rest; the
// detail text is made only for the listed ones.
class CappedList {
 public:
  explicit CappedList(std::vector<TimingTables::Fault>& out) : out(out) {}
  ~CappedList() {
    for (const auto& [key, rest] : unlisted)
      if (rest.count > 0)
        out.push_back(fault(*rest.last, *rest.stream, key.second,
                            QStringLiteral("%1 more like this not listed, the last here").arg(rest.count)));
  }
  CappedList(const CappedList&) = delete;
  CappedList& operator=(const CappedList&) = delete;

  template <typename MakeDetail>
  void add(const TimingTables::Frame& frame, const TimingTables::Stream& stream, const char* check,
           MakeDetail make_detail) {
    Unlisted& rest = unlisted[{stream.number, check}];
    if (rest.listed < TimingFaults::kListedPerCheck) {
      ++rest.listed;
      out.push_back(fault(frame, stream, check, make_detail()));
      return;
    }
    ++rest.count;
    rest.last = &frame;
    rest.stream = &stream;
  }

 private:
  struct Unlisted {
    int listed = 0;
    qint64 count = 0;
    const TimingTables::Frame* last = nullptr;
    const TimingTables::Stream* stream = nullptr;
  };
  std::vector<TimingTables::Fault>& out;
  std::map<std::pair<int, const char*>, Unlisted> unlisted;
};

}  // namespace

std::vector<TimingTables::Fault> TimingFaults::find(const TimingTables& table) const {
  std::vector<TimingTables::Fault> faults;
  for (const TimingTables::Stream& stream : table.streams()) {
    // A PCR is a clock, not a frame: the container's own checks look after it.
    if (stream.isPcr())
      continue;
    if (stream.hasTimeBase()) {
      checkDecodeOrder(table, stream, faults);
      checkGaps(table, stream, faults);
    }
    checkKeyIntervals(table, stream, faults);
  }
  checkStartOffsets(table, faults);
  return faults;
}

void TimingFaults::checkDecodeOrder(const TimingTables& table, const TimingTables::Stream& stream,
                                    std::vector<TimingTables::Fault>& faults) const {
  CappedList list(faults);
  const TimingTables::Frame* previous = nullptr;
  for (const TimingTables::Frame* frame = table.begin(stream); frame != table.end(stream); ++frame) {
    if (frame->hasDts() && frame->hasPts() && frame->pts < frame->dts)
      list.add(*frame, stream, kPtsBeforeDts, [&] {
        return QStringLiteral("PTS %1 before DTS %2").arg(seconds(stream, frame->pts), seconds(stream, frame->dts));
      });
    if (!frame->hasDts())
      continue;
    if (previous && frame->dts < previous->dts)
      list.add(*frame, stream, kDtsBackwards, [&] {
        return QStringLiteral("DTS %1 after %2").arg(seconds(stream, frame->dts), seconds(stream, previous->dts));
      });
    else if (previous && frame->dts == previous->dts)
      list.add(*frame, stream, kDtsRepeated,
               [&] { return QStringLiteral("DTS %1 again").arg(seconds(stream, frame->dts)); });
    previous = frame;
  }
}

// Steps in time order: a stream that goes backwards is reported above, not as a gap here.
void TimingFaults::checkGaps(const TimingTables& table, const TimingTables::Stream& stream,
                             std::vector<TimingTables::Fault>& faults) const {
  const std::vector<quint32> order = StreamStatistics::timeOrder(table, stream);
  const qint64 usual = StreamStatistics::medianStep(table, stream, order);
  if (usual <= 0)
    return;
  const TimingTables::Frame* first = table.begin(stream);
  const qint64 limit = usual > std::numeric_limits<qint64>::max() / 2 ? usual : 2 * usual;
  CappedList list(faults);
  for (size_t i = 1; i < order.size(); ++i) {
    const TimingTables::Frame& frame = first[order[i]];
    const qint64 step =
        TimingTables::difference(frame.decodeOrPresentation(), first[order[i - 1]].decodeOrPresentation());
    if (step > limit)
      list.add(frame, stream, kTimestampGap, [&] {
        return QStringLiteral("%1 %2 after the previous frame, usually %3")
            .arg(frame.hasDts() ? QStringLiteral("DTS") : QStringLiteral("PTS"), seconds(stream, step),
                 seconds(stream, usual));
      });
  }
}

void TimingFaults::checkKeyIntervals(const TimingTables& table, const TimingTables::Stream& stream,
                                     std::vector<TimingTables::Fault>& faults) const {
  if (key_interval_limit <= 0)
    return;
  const TimingTables::Frame* first = table.begin(stream);
  CappedList list(faults);
  qint64 last_key = -1;
  bool reported = false;
  for (size_t i = 0; i < stream.count; ++i) {
    if (first[i].key == 1) {
      last_key = qint64(i);
      reported = false;
      continue;
    }
    // Frames before the first key frame count from the stream's start. The interval
    // passes the limit at the first frame that is not a key frame where one was due.
    const qint64 since = qint64(i) - last_key;
    if (first[i].key == 0 && !reported && since >= key_interval_limit) {
      list.add(first[i], stream, kKeyFrameInterval,
               [&] { return QStringLiteral("key-frame interval over %1 frames").arg(key_interval_limit); });
      reported = true;
    }
  }
}

void TimingFaults::checkStartOffsets(const TimingTables& table, std::vector<TimingTables::Fault>& faults) const {
  const TimingTables::Stream* video = nullptr;
  const TimingTables::Frame* video_start = nullptr;
  for (const TimingTables::Stream& stream : table.streams())
    if (stream.kind == QLatin1String("video") && stream.hasTimeBase() && (video_start = startFrame(table, stream))) {
      video = &stream;
      break;
    }
  if (!video)
    return;
  const double video_seconds =
      double(video_start->hasPts() ? video_start->pts : video_start->dts) * video->secondsPerTick();
  for (const TimingTables::Stream& stream : table.streams()) {
    if (stream.kind != QLatin1String("audio") || !stream.hasTimeBase())
      continue;
    const TimingTables::Frame* audio_start = startFrame(table, stream);
    if (!audio_start)
      continue;
    const double offset =
        double(audio_start->hasPts() ? audio_start->pts : audio_start->dts) * stream.secondsPerTick() - video_seconds;
    // Below a millisecond nobody sees it, and time bases round.
    if (std::fabs(offset) < 0.001)
      continue;
    const TimingTables::Frame& later = offset > 0 ? *audio_start : *video_start;
    faults.push_back(fault(later, offset > 0 ? stream : *video, kStartOffset,
                           QStringLiteral("audio stream %1 starts %2 s %3 video stream %4")
                               .arg(stream.number)
                               .arg(std::fabs(offset), 0, 'f', 3)
                               .arg(offset > 0 ? QStringLiteral("after") : QStringLiteral("before"))
                               .arg(video->number)));
  }
}
