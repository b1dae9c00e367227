#include "FrameSeries.h"

#include "StreamStatistics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

// A PCR counts 27 MHz ticks whatever time base its stream row gives.
double secondsPerTick(const TimingTables::Stream& stream) {
  if (stream.hasTimeBase())
    return stream.secondsPerTick();
  return stream.isPcr() ? 1.0 / 27000000.0 : 0.0;
}

FrameSeries::Series makeSeries(const QString& name, FrameSeries::Role role, const TimingTables::Stream& stream) {
  FrameSeries::Series series;
  series.name = QStringLiteral("%1: %2").arg(stream.number).arg(name);
  series.role = role;
  series.stream = stream.number;
  return series;
}

void append(FrameSeries::Series& series, double key, double value, size_t frame) {
  series.keys.push_back(key);
  series.values.push_back(value);
  series.frames.push_back(quint32(frame));
}

// Keys come in order almost always; a series whose keys go back is sorted, keeping
// points of equal key in the order they came.
void sortByKey(FrameSeries::Series& series) {
  if (std::is_sorted(series.keys.begin(), series.keys.end()))
    return;
  std::vector<size_t> order(series.keys.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&series](size_t a, size_t b) { return series.keys[a] < series.keys[b]; });
  FrameSeries::Series sorted = series;
  for (size_t i = 0; i < order.size(); ++i) {
    sorted.keys[i] = series.keys[order[i]];
    sorted.values[i] = series.values[order[i]];
    sorted.frames[i] = series.frames[order[i]];
  }
  series = std::move(sorted);
}

FrameSeries::Role frameRole(const TimingTables::Frame& frame) {
  switch (frame.picture_type) {
    case 'I':
      return FrameSeries::Role::PictureI;
    case 'P':
      return FrameSeries::Role::PictureP;
    case 'B':
      return FrameSeries::Role::PictureB;
    default:
      break;
  }
  if (frame.key == 1)
    return FrameSeries::Role::KeyFrame;
  return frame.key == 0 ? FrameSeries::Role::OtherFrame : FrameSeries::Role::UnknownFrame;
}

QString roleName(FrameSeries::Role role) {
  switch (role) {
    case FrameSeries::Role::PictureI:
      return QStringLiteral("I");
    case FrameSeries::Role::PictureP:
      return QStringLiteral("P");
    case FrameSeries::Role::PictureB:
      return QStringLiteral("B");
    case FrameSeries::Role::KeyFrame:
      return QStringLiteral("key");
    case FrameSeries::Role::OtherFrame:
      return QStringLiteral("not key");
    default:
      return QStringLiteral("frames");
  }
}

}  // namespace

FrameSeries::FrameSeries(const TimingTables& table) : table(table) {
  bool found = false;
  for (const TimingTables::Stream& stream : table.streams()) {
    const double tick = secondsPerTick(stream);
    if (tick <= 0)
      continue;
    for (const TimingTables::Frame* frame = table.begin(stream); frame != table.end(stream); ++frame) {
      const qint64 time = frame->decodeOrPresentation();
      if (time == TimingTables::kNoTime)
        continue;
      const double at = double(time) * tick;
      origin_seconds = found ? std::min(origin_seconds, at) : at;
      found = true;
    }
  }
}

double FrameSeries::seconds(const TimingTables::Stream& stream, qint64 ticks) const {
  return double(ticks) * secondsPerTick(stream) - origin_seconds;
}

FrameSeries::XAxis FrameSeries::effectiveXAxis(Chart chart, XAxis asked) {
  switch (chart) {
    case Chart::Timestamps:
      return XAxis::Order;
    case Chart::PcrInterval:
    case Chart::PcrAccuracy:
      return XAxis::Time;
    default:
      return asked;
  }
}

QString FrameSeries::xTitle(Chart chart, XAxis x_axis) {
  return effectiveXAxis(chart, x_axis) == XAxis::Time ? QStringLiteral("time (s)")
                                                       : QStringLiteral("frame in decode order");
}

QString FrameSeries::yTitle(Chart chart) {
  switch (chart) {
    case Chart::FrameSize:
      return QStringLiteral("frame size (bytes)");
    case Chart::Bitrate:
      return QStringLiteral("bitrate over 1 s (bit/s)");
    case Chart::Timestamps:
      return QStringLiteral("PTS, DTS (s)");
    case Chart::PcrInterval:
      return QStringLiteral("PCR interval (ms)");
    case Chart::PcrAccuracy:
      return QStringLiteral("PCR - predicted (ns)");
  }
  return QString();
}

QString FrameSeries::rightTitle(Chart chart) {
  return chart == Chart::Timestamps ? QStringLiteral("PTS - DTS (ms)") : QString();
}

std::vector<FrameSeries::Series> FrameSeries::build(Chart chart, XAxis x_axis, const TimingTables::Stream& stream) const {
  const bool pcr_chart = chart == Chart::PcrInterval || chart == Chart::PcrAccuracy;
  if (pcr_chart != stream.isPcr())
    return {};
  x_axis = effectiveXAxis(chart, x_axis);
  if (x_axis == XAxis::Time && secondsPerTick(stream) <= 0)
    return {};
  switch (chart) {
    case Chart::FrameSize:
      return frameSizes(x_axis, stream);
    case Chart::Bitrate:
      return bitrate(x_axis, stream);
    case Chart::Timestamps:
      return timestamps(stream);
    case Chart::PcrInterval:
      return pcrIntervals(stream);
    case Chart::PcrAccuracy:
      return pcrAccuracy(stream);
  }
  return {};
}

std::vector<FrameSeries::Series> FrameSeries::frameSizes(XAxis x_axis, const TimingTables::Stream& stream) const {
  constexpr size_t kRoles = size_t(Role::UnknownFrame) + 1;
  std::array<Series, kRoles> by_role;
  for (size_t role = 0; role < kRoles; ++role)
    by_role[role] = makeSeries(roleName(Role(role)), Role(role), stream);
  const TimingTables::Frame* first = table.begin(stream);
  auto add = [&](size_t index, double key) {
    const TimingTables::Frame& frame = first[index];
    append(by_role[size_t(frameRole(frame))], key, double(frame.size), stream.first + index);
  };
  if (x_axis == XAxis::Order) {
    for (size_t i = 0; i < stream.count; ++i)
      add(i, double(i));
  } else {
    for (quint32 index : StreamStatistics::timeOrder(table, stream))
      add(index, seconds(stream, first[index].decodeOrPresentation()));
  }
  std::vector<Series> result;
  for (Series& series : by_role)
    if (!series.keys.empty())
      result.push_back(std::move(series));
  return result;
}

std::vector<FrameSeries::Series> FrameSeries::bitrate(XAxis x_axis, const TimingTables::Stream& stream) const {
  if (!stream.hasTimeBase())
    return {};
  const std::vector<quint32> order = StreamStatistics::timeOrder(table, stream);
  const std::vector<double> bits = StreamStatistics::slidingBitrate(table, stream, order);
  Series series = makeSeries(QStringLiteral("bitrate"), Role::Bitrate, stream);
  const TimingTables::Frame* first = table.begin(stream);
  for (size_t i = 0; i < order.size(); ++i) {
    const double key = x_axis == XAxis::Time ? seconds(stream, first[order[i]].decodeOrPresentation())
                                             : double(order[i]);
    append(series, key, bits[i], stream.first + order[i]);
  }
  sortByKey(series);
  return {series};
}

std::vector<FrameSeries::Series> FrameSeries::timestamps(const TimingTables::Stream& stream) const {
  if (!stream.hasTimeBase())
    return {};
  Series pts = makeSeries(QStringLiteral("PTS"), Role::Pts, stream);
  Series dts = makeSeries(QStringLiteral("DTS"), Role::Dts, stream);
  Series difference = makeSeries(QStringLiteral("PTS - DTS"), Role::PtsMinusDts, stream);
  difference.right_axis = true;
  const TimingTables::Frame* first = table.begin(stream);
  for (size_t i = 0; i < stream.count; ++i) {
    const TimingTables::Frame& frame = first[i];
    if (frame.hasPts())
      append(pts, double(i), seconds(stream, frame.pts), stream.first + i);
    if (frame.hasDts())
      append(dts, double(i), seconds(stream, frame.dts), stream.first + i);
    if (frame.hasPts() && frame.hasDts())
      append(difference, double(i), double(TimingTables::difference(frame.pts, frame.dts)) * stream.secondsPerTick() * 1000.0,
             stream.first + i);
  }
  std::vector<Series> result;
  for (Series* series : {&pts, &dts, &difference})
    if (!series->keys.empty())
      result.push_back(std::move(*series));
  return result;
}

std::vector<FrameSeries::Series> FrameSeries::pcrIntervals(const TimingTables::Stream& stream) const {
  Series series = makeSeries(QStringLiteral("PCR interval"), Role::PcrInterval, stream);
  const TimingTables::Frame* first = table.begin(stream);
  const double tick = secondsPerTick(stream);
  const TimingTables::Frame* previous = nullptr;
  for (size_t i = 0; i < stream.count; ++i) {
    const TimingTables::Frame& frame = first[i];
    if (!frame.hasDts())
      continue;
    if (previous)
      append(series, seconds(stream, frame.dts), double(TimingTables::difference(frame.dts, previous->dts)) * tick * 1000.0,
             stream.first + i);
    previous = &frame;
  }
  sortByKey(series);
  return series.keys.empty() ? std::vector<Series>() : std::vector<Series>{series};
}

// The mux rate is the straight line through (byte offset, PCR) that fits all PCRs best;
// each PCR's accuracy is how far it lies from that line.
std::vector<FrameSeries::Series> FrameSeries::pcrAccuracy(const TimingTables::Stream& stream) const {
  const TimingTables::Frame* first = table.begin(stream);
  const double tick = secondsPerTick(stream);
  double sum_x = 0, sum_y = 0;
  size_t points = 0;
  for (size_t i = 0; i < stream.count && i < stream.byte_offsets.size(); ++i)
    if (first[i].hasDts()) {
      sum_x += double(stream.byte_offsets[i]);
      sum_y += double(first[i].dts) * tick;
      ++points;
    }
  if (points < 2)
    return {};
  const double mean_x = sum_x / double(points);
  const double mean_y = sum_y / double(points);
  double sum_xx = 0, sum_xy = 0;
  for (size_t i = 0; i < stream.count && i < stream.byte_offsets.size(); ++i)
    if (first[i].hasDts()) {
      const double x = double(stream.byte_offsets[i]) - mean_x;
      sum_xx += x * x;
      sum_xy += x * (double(first[i].dts) * tick - mean_y);
    }
  if (sum_xx <= 0)
    return {};
  const double seconds_per_byte = sum_xy / sum_xx;
  Series series = makeSeries(QStringLiteral("PCR accuracy"), Role::PcrAccuracy, stream);
  for (size_t i = 0; i < stream.count && i < stream.byte_offsets.size(); ++i)
    if (first[i].hasDts()) {
      const double predicted = mean_y + (double(stream.byte_offsets[i]) - mean_x) * seconds_per_byte;
      // A PCR counts 37 ns steps: below a tenth of a nanosecond there is only rounding.
      const double nanoseconds = std::round((double(first[i].dts) * tick - predicted) * 1e10) / 10.0;
      append(series, seconds(stream, first[i].dts), nanoseconds, stream.first + i);
    }
  sortByKey(series);
  return {series};
}
