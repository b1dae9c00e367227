#pragma once

#include "TimingTables.h"

#include <QString>

#include <vector>

// The timing faults that the frame table alone shows, found per stream:
//  - a decode time that goes backwards or repeats,
//  - a step between consecutive times beyond twice the stream's usual (median) step,
//  - a presentation time before the decode time,
//  - a key-frame interval beyond a limit in frames,
// and, between streams, the offset of each audio stream's start from the first video
// stream's start. Each fault names the frame where it shows.
class TimingFaults {
 public:
  static const char* const kDtsBackwards;
  static const char* const kDtsRepeated;
  static const char* const kTimestampGap;
  static const char* const kPtsBeforeDts;
  static const char* const kStartOffset;
  static const char* const kKeyFrameInterval;

  // Faults of the timing checks get this priority, after the container's own checks.
  static constexpr int kPriority = 3;
  // Of one check in one stream, this many are listed; one more entry counts the rest, so
  // that a stream whose every frame is wrong still gives a list of a readable size.
  static constexpr int kListedPerCheck = 1000;

  explicit TimingFaults(int key_interval_limit) : key_interval_limit(key_interval_limit) {}

  std::vector<TimingTables::Fault> find(const TimingTables& table) const;

 private:
  void checkDecodeOrder(const TimingTables& table, const TimingTables::Stream& stream,
                        std::vector<TimingTables::Fault>& faults) const;
  void checkGaps(const TimingTables& table, const TimingTables::Stream& stream,
                 std::vector<TimingTables::Fault>& faults) const;
  void checkKeyIntervals(const TimingTables& table, const TimingTables::Stream& stream,
                         std::vector<TimingTables::Fault>& faults) const;
  void checkStartOffsets(const TimingTables& table, std::vector<TimingTables::Fault>& faults) const;

  int key_interval_limit;
};
