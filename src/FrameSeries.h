#pragma once

#include "TimingTables.h"

#include <QString>

#include <vector>

// The points of the Streams window's charts, worked out from the frame table without
// anything graphical: each series is ordered by its key (the x value) and remembers
// the frame of each point, so that a point leads back to its element.
class FrameSeries {
 public:
  enum class Chart { FrameSize, Bitrate, Timestamps, PcrInterval, PcrAccuracy };
  enum class XAxis { Time, Order };
  // What a series stands for; the chart chooses colour and shape from it.
  enum class Role { PictureI, PictureP, PictureB, KeyFrame, OtherFrame, UnknownFrame, Bitrate, Pts, Dts,
                    PtsMinusDts, PcrInterval, PcrAccuracy };

  struct Series {
    QString name;
    Role role = Role::Bitrate;
    int stream = 0;
    bool right_axis = false;  // PTS - DTS in milliseconds beside the times in seconds
    std::vector<double> keys;
    std::vector<double> values;
    std::vector<quint32> frames;  // index into TimingTables::frames()
  };

  explicit FrameSeries(const TimingTables& table);

  // The series of `chart` for one stream; none when the stream has nothing to show there.
  std::vector<Series> build(Chart chart, XAxis x_axis, const TimingTables::Stream& stream) const;
  // Whether the chart's x axis is the one asked for, or fixed (timestamps against decode
  // order, PCR charts against time).
  static XAxis effectiveXAxis(Chart chart, XAxis asked);
  static QString xTitle(Chart chart, XAxis x_axis);
  static QString yTitle(Chart chart);
  static QString rightTitle(Chart chart);

  // Seconds of the earliest time in the table: time keys count from there.
  double origin() const { return origin_seconds; }

 private:
  std::vector<Series> frameSizes(XAxis x_axis, const TimingTables::Stream& stream) const;
  std::vector<Series> bitrate(XAxis x_axis, const TimingTables::Stream& stream) const;
  std::vector<Series> timestamps(const TimingTables::Stream& stream) const;
  std::vector<Series> pcrIntervals(const TimingTables::Stream& stream) const;
  std::vector<Series> pcrAccuracy(const TimingTables::Stream& stream) const;
  double seconds(const TimingTables::Stream& stream, qint64 ticks) const;

  const TimingTables& table;
  double origin_seconds = 0;
};
