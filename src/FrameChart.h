#pragma once

#include "FrameSeries.h"
#include "TimingTables.h"

#include <qcustomplot.h>

#include <QString>

#include <vector>

// One chart of the Streams window. The library draws each series with one minimum and
// maximum per pixel column (adaptive sampling), so zooming and panning a million frames
// costs a pass over the visible points and no more. Wheel zooms and drag pans along the
// x axis, a double click shows everything again, and a click on a point or bar names the
// element of its frame.
class FrameChart : public QCustomPlot {
  Q_OBJECT

 public:
  explicit FrameChart(QWidget* parent = nullptr);

  // Shows `series` (of `table`'s frames) instead of what the chart showed; with no series
  // the chart says `empty_text`.
  void setSeries(FrameSeries::Chart chart, FrameSeries::XAxis x_axis, std::vector<FrameSeries::Series> series,
                 const TimingTables* table, const QString& empty_text);
  // Forgets every series and says `text` instead.
  void showText(const QString& text);
  int seriesCount() const { return int(frames_of_graph.size()); }
  // The element of point `point` of series `series`, or 0.
  qint64 elementOf(int series, int point) const;
  // Where point `point` of series `series` is drawn, in widget coordinates.
  QPoint pixelOf(int series, int point) const;
  // The text shown instead of a chart, empty while a chart shows.
  QString emptyText() const;

  bool exportPng(const QString& file_name);
  // Every point of every series, not only the drawn ones: series, element id, x, y.
  bool exportCsv(const QString& file_name) const;

 public Q_SLOTS:
  // Fits the axes to all the data.
  void resetView();

 Q_SIGNALS:
  void frameChosen(qint64 element_id);

 private Q_SLOTS:
  void fitBarWidths();
  void pointClicked(QCPAbstractPlottable* plottable, int data_index, QMouseEvent* event);

 private:
  void clearSeries();
  QCPGraph* addGraph(const FrameSeries::Series& series, int stream_colour);

  QCPItemText* message = nullptr;
  const TimingTables* table = nullptr;
  std::vector<std::vector<quint32>> frames_of_graph;  // per graph, in the order of its points
};
