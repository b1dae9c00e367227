#pragma once

#include "TimingTables.h"

#include <QtGlobal>

#include <vector>

// The figures of one stream that the Streams window lists, and the time helpers the
// charts and the timing checks share. Times are the frames' decode times, or their
// presentation times where the container gives only those.
class StreamStatistics {
 public:
  int frames = 0;
  double duration = 0;       // seconds, 0 when unknown
  double average_bitrate = 0;  // bits per second, 0 when unknown
  double peak_bitrate = 0;   // bits per second over one second
  double frame_rate = 0;     // frames per second from the timestamps, 0 when unknown
  int key_interval_min = 0;  // frames from one key frame to the next; 0 when unknown
  double key_interval_mean = 0;
  int key_interval_max = 0;

  StreamStatistics() = default;
  StreamStatistics(const TimingTables& table, const TimingTables::Stream& stream);

  // The stream's frames (indices from its first frame) that have a time, ordered by time;
  // frames of equal time keep their decode order.
  static std::vector<quint32> timeOrder(const TimingTables& table, const TimingTables::Stream& stream);
  // For each frame of `order`, the bits per second of the frames in the second up to and
  // including its time.
  static std::vector<double> slidingBitrate(const TimingTables& table, const TimingTables::Stream& stream,
                                            const std::vector<quint32>& order);
  // The median of the positive steps between consecutive times of `order`, in ticks; 0 if none.
  static qint64 medianStep(const TimingTables& table, const TimingTables::Stream& stream,
                           const std::vector<quint32>& order);

 private:
  void measureKeyIntervals(const TimingTables& table, const TimingTables::Stream& stream);
};
