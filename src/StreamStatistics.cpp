#include "StreamStatistics.h"

#include <algorithm>
#include <numeric>

StreamStatistics::StreamStatistics(const TimingTables& table, const TimingTables::Stream& stream) {
  frames = int(stream.count);
  measureKeyIntervals(table, stream);
  if (!stream.hasTimeBase())
    return;
  const std::vector<quint32> order = timeOrder(table, stream);
  if (order.size() < 2)
    return;
  const TimingTables::Frame* first = table.begin(stream);
  const double tick = stream.secondsPerTick();
  const qint64 step = medianStep(table, stream, order);
  const TimingTables::Frame& last = first[order.back()];
  // The last frame lasts its own duration, or the usual step where it has none.
  const qint64 last_duration = last.duration >= 0 ? last.duration : step;
  const qint64 span = TimingTables::difference(last.decodeOrPresentation(), first[order.front()].decodeOrPresentation());
  duration = (double(span) + double(last_duration)) * tick;
  if (span > 0)
    frame_rate = double(order.size() - 1) / (double(span) * tick);
  qint64 bytes = 0;
  for (quint32 index : order)
    bytes += first[index].size;
  if (duration > 0)
    average_bitrate = double(bytes) * 8.0 / duration;
  const std::vector<double> bitrate = slidingBitrate(table, stream, order);
  peak_bitrate = *std::max_element(bitrate.begin(), bitrate.end());
}

void StreamStatistics::measureKeyIntervals(const TimingTables& table, const TimingTables::Stream& stream) {
  qint64 last_key = -1;
  qint64 intervals = 0;
  qint64 total = 0;
  const TimingTables::Frame* first = table.begin(stream);
  for (size_t i = 0; i < stream.count; ++i) {
    if (first[i].key != 1)
      continue;
    if (last_key >= 0) {
      const int interval = int(qint64(i) - last_key);
      key_interval_min = intervals == 0 ? interval : std::min(key_interval_min, interval);
      key_interval_max = std::max(key_interval_max, interval);
      total += interval;
      ++intervals;
    }
    last_key = qint64(i);
  }
  if (intervals > 0)
    key_interval_mean = double(total) / double(intervals);
}

std::vector<quint32> StreamStatistics::timeOrder(const TimingTables& table, const TimingTables::Stream& stream) {
  std::vector<quint32> order;
  order.reserve(stream.count);
  const TimingTables::Frame* first = table.begin(stream);
  bool sorted = true;
  qint64 previous = TimingTables::kNoTime;
  for (size_t i = 0; i < stream.count; ++i) {
    const qint64 time = first[i].decodeOrPresentation();
    if (time == TimingTables::kNoTime)
      continue;
    sorted = sorted && time >= previous;
    previous = time;
    order.push_back(quint32(i));
  }
  // Frames usually come in time order already; only reordered ones pay for a sort.
  if (!sorted)
    std::stable_sort(order.begin(), order.end(), [first](quint32 a, quint32 b) {
      return first[a].decodeOrPresentation() < first[b].decodeOrPresentation();
    });
  return order;
}

std::vector<double> StreamStatistics::slidingBitrate(const TimingTables& table, const TimingTables::Stream& stream,
                                                     const std::vector<quint32>& order) {
  std::vector<double> bitrate(order.size(), 0.0);
  if (!stream.hasTimeBase())
    return bitrate;
  const TimingTables::Frame* first = table.begin(stream);
  // One second in ticks, rounded up so that a whole second of frames always fits.
  const qint64 window = (stream.time_base_den + stream.time_base_num - 1) / stream.time_base_num;
  qint64 bytes = 0;
  size_t tail = 0;
  for (size_t head = 0; head < order.size(); ++head) {
    const qint64 time = first[order[head]].decodeOrPresentation();
    bytes += first[order[head]].size;
    const qint64 start = TimingTables::difference(time, window);
    while (first[order[tail]].decodeOrPresentation() <= start)
      bytes -= first[order[tail++]].size;
    bitrate[head] = double(bytes) * 8.0;
  }
  return bitrate;
}

qint64 StreamStatistics::medianStep(const TimingTables& table, const TimingTables::Stream& stream,
                                    const std::vector<quint32>& order) {
  std::vector<qint64> steps;
  steps.reserve(order.size());
  const TimingTables::Frame* first = table.begin(stream);
  for (size_t i = 1; i < order.size(); ++i) {
    const qint64 step =
        TimingTables::difference(first[order[i]].decodeOrPresentation(), first[order[i - 1]].decodeOrPresentation());
    if (step > 0)
      steps.push_back(step);
  }
  if (steps.empty())
    return 0;
  auto middle = steps.begin() + std::ptrdiff_t(steps.size() / 2);
  std::nth_element(steps.begin(), middle, steps.end());
  return *middle;
}
