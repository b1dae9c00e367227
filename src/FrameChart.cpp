#include "FrameChart.h"

#include <QFile>
#include <QTextStream>

#include <map>

namespace {

QColor roleColour(FrameSeries::Role role, int stream_colour) {
  static const QColor streams[] = {QColor(31, 119, 180), QColor(44, 160, 44), QColor(214, 39, 40),
                                   QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194)};
  switch (role) {
    case FrameSeries::Role::PictureI:
      return QColor(214, 39, 40);
    case FrameSeries::Role::KeyFrame:
      return QColor(148, 103, 189);
    case FrameSeries::Role::PictureP:
      return QColor(31, 119, 180);
    case FrameSeries::Role::PictureB:
      return QColor(44, 160, 44);
    case FrameSeries::Role::OtherFrame:
      return QColor(70, 110, 160);
    case FrameSeries::Role::UnknownFrame:
      return QColor(128, 128, 128);
    case FrameSeries::Role::Dts:
      return streams[stream_colour % 6].darker(200);
    case FrameSeries::Role::PtsMinusDts:
      return QColor(255, 127, 14);
    default:
      return streams[stream_colour % 6];
  }
}

bool isFrameSize(FrameSeries::Role role) {
  return role <= FrameSeries::Role::UnknownFrame;
}

}  // namespace

FrameChart::FrameChart(QWidget* parent) : QCustomPlot(parent) {
  setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  axisRect()->setRangeDrag(Qt::Horizontal);
  axisRect()->setRangeZoom(Qt::Horizontal);
  // A column of bars or a dense line gains nothing from antialiasing but costs time.
  setNotAntialiasedElements(QCP::aePlottables);
  setPlottingHint(QCP::phFastPolylines, true);
  setPlottingHint(QCP::phCacheLabels, true);
  legend->setVisible(true);
  legend->setFont(font());
  axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
  message = new QCPItemText(this);
  message->position->setType(QCPItemPosition::ptAxisRectRatio);
  message->position->setCoords(0.5, 0.5);
  message->setPositionAlignment(Qt::AlignCenter);
  message->setClipToAxisRect(false);
  connect(this, &QCustomPlot::plottableClick, this, &FrameChart::pointClicked);
  connect(this, &QCustomPlot::mouseDoubleClick, this, &FrameChart::resetView);
  connect(this, &QCustomPlot::beforeReplot, this, &FrameChart::fitBarWidths);
}

// Bars grow wider as fewer of them are in sight, up to a few pixels, so that a zoomed-in
// frame is easy to see and to click; two binary searches per series find how many.
void FrameChart::fitBarWidths() {
  const QCPRange shown = xAxis->range();
  int bars = 0;
  for (int i = 0; i < graphCount(); ++i)
    if (graph(i)->lineStyle() == QCPGraph::lsImpulse) {
      const QSharedPointer<QCPGraphDataContainer> points = graph(i)->data();
      bars += int(points->findEnd(shown.upper) - points->findBegin(shown.lower));
    }
  if (bars <= 0)
    return;
  const int width = qBound(1, int(0.6 * axisRect()->width() / bars), 8);
  for (int i = 0; i < graphCount(); ++i)
    if (graph(i)->lineStyle() == QCPGraph::lsImpulse && graph(i)->pen().width() != width) {
      QPen pen = graph(i)->pen();
      pen.setWidth(width);
      pen.setCapStyle(Qt::FlatCap);
      graph(i)->setPen(pen);
    }
}

void FrameChart::clearSeries() {
  clearGraphs();
  frames_of_graph.clear();
  legend->setVisible(false);
  yAxis2->setVisible(false);
}

void FrameChart::showText(const QString& text) {
  clearSeries();
  table = nullptr;
  message->setText(text);
  message->setVisible(true);
  replot();
}

QString FrameChart::emptyText() const {
  return message->visible() ? message->text() : QString();
}

void FrameChart::setSeries(FrameSeries::Chart chart, FrameSeries::XAxis x_axis,
                           std::vector<FrameSeries::Series> series, const TimingTables* timing_tables,
                           const QString& empty_text) {
  clearSeries();
  table = timing_tables;
  xAxis->setLabel(FrameSeries::xTitle(chart, x_axis));
  yAxis->setLabel(FrameSeries::yTitle(chart));
  yAxis2->setLabel(FrameSeries::rightTitle(chart));
  // Each stream keeps one colour across the charts it appears in.
  std::map<int, int> stream_colours;
  for (const FrameSeries::Series& one : series)
    stream_colours.emplace(one.stream, int(stream_colours.size()));
  for (FrameSeries::Series& one : series) {
    addGraph(one, stream_colours[one.stream]);
    // The points live on in the graph; only the frame indices stay here.
    one.keys = {};
    one.values = {};
  }
  message->setText(empty_text);
  message->setVisible(series.empty());
  legend->setVisible(!series.empty());
  resetView();
}

QCPGraph* FrameChart::addGraph(const FrameSeries::Series& series, int stream_colour) {
  QCPGraph* graph = QCustomPlot::addGraph(xAxis, series.right_axis ? yAxis2 : yAxis);
  if (series.right_axis)
    yAxis2->setVisible(true);
  graph->setName(series.name);
  graph->setPen(QPen(roleColour(series.role, stream_colour), 0));
  graph->setLineStyle(isFrameSize(series.role) ? QCPGraph::lsImpulse : QCPGraph::lsLine);
  graph->setAdaptiveSampling(true);
  QVector<QCPGraphData> points(int(series.keys.size()));
  for (int i = 0; i < points.size(); ++i)
    points[i] = QCPGraphData(series.keys[size_t(i)], series.values[size_t(i)]);
  graph->data()->set(points, true);
  frames_of_graph.push_back(series.frames);
  return graph;
}

void FrameChart::resetView() {
  rescaleAxes();
  // Bars stand on zero, and a flat series still gets some height.
  for (QCPAxis* axis : {yAxis, yAxis2}) {
    QCPRange range = axis->range();
    if (range.lower > 0)
      range.lower = 0;
    if (range.size() <= 0)
      range.upper = range.lower + 1;
    const double margin = range.size() * 0.05;
    axis->setRange(range.lower < 0 ? range.lower - margin : range.lower, range.upper + margin);
  }
  // A little room at both ends keeps the first and last bar off the axes.
  const QCPRange x = xAxis->range();
  const double margin = x.size() > 0 ? x.size() * 0.01 : 0.5;
  xAxis->setRange(x.lower - margin, x.upper + margin);
  replot();
}

qint64 FrameChart::elementOf(int series, int point) const {
  if (!table || series < 0 || size_t(series) >= frames_of_graph.size() || point < 0 ||
      size_t(point) >= frames_of_graph[size_t(series)].size())
    return 0;
  const quint32 frame = frames_of_graph[size_t(series)][size_t(point)];
  return frame < table->frames().size() ? table->frames()[frame].element_id : 0;
}

QPoint FrameChart::pixelOf(int series, int point) const {
  QCPGraph* graph = series >= 0 && series < graphCount() ? this->graph(series) : nullptr;
  if (!graph || point < 0 || point >= graph->dataCount())
    return QPoint(-1, -1);
  const auto data = graph->data()->at(point);
  return graph->coordsToPixels(data->key, data->value).toPoint();
}

void FrameChart::pointClicked(QCPAbstractPlottable* plottable, int data_index, QMouseEvent*) {
  for (int i = 0; i < graphCount(); ++i)
    if (graph(i) == plottable) {
      const qint64 element = elementOf(i, data_index);
      if (element > 0)
        Q_EMIT frameChosen(element);
      return;
    }
}

bool FrameChart::exportPng(const QString& file_name) {
  return savePng(file_name);
}

bool FrameChart::exportCsv(const QString& file_name) const {
  QFile file(file_name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
    return false;
  QTextStream out(&file);
  out << "series,element_id," << xAxis->label() << ',' << "value\n";
  for (int i = 0; i < graphCount(); ++i) {
    QCPGraph* one = graph(i);
    const QString name = one->name();
    int point = 0;
    for (auto it = one->data()->constBegin(); it != one->data()->constEnd(); ++it, ++point)
      out << name << ',' << elementOf(i, point) << ',' << QString::number(it->key, 'g', 12) << ','
          << QString::number(it->value, 'g', 12) << '\n';
  }
  out.flush();
  return file.error() == QFile::NoError;
}
