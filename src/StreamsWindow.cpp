#include "StreamsWindow.h"

#include "FrameChart.h"
#include "TimingFaults.h"
#include "settings.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

const char* const StreamsWindow::kKeyIntervalLimitKey = "main/streams/key_interval_limit";

namespace {

constexpr FrameSeries::Chart kCharts[] = {FrameSeries::Chart::FrameSize, FrameSeries::Chart::Bitrate,
                                          FrameSeries::Chart::Timestamps, FrameSeries::Chart::PcrInterval,
                                          FrameSeries::Chart::PcrAccuracy};
constexpr int kElementRole = Qt::UserRole;
constexpr int kStreamRole = Qt::UserRole;

QString chartTitle(FrameSeries::Chart chart) {
  switch (chart) {
    case FrameSeries::Chart::FrameSize:
      return QStringLiteral("Frame size");
    case FrameSeries::Chart::Bitrate:
      return QStringLiteral("Bitrate");
    case FrameSeries::Chart::Timestamps:
      return QStringLiteral("PTS / DTS");
    case FrameSeries::Chart::PcrInterval:
      return QStringLiteral("PCR interval");
    case FrameSeries::Chart::PcrAccuracy:
      return QStringLiteral("PCR accuracy");
  }
  return QString();
}

QString bitrateText(double bits_per_second) {
  if (bits_per_second <= 0)
    return QString();
  if (bits_per_second >= 1e6)
    return QStringLiteral("%1 Mbit/s").arg(bits_per_second / 1e6, 0, 'f', 3);
  return QStringLiteral("%1 kbit/s").arg(bits_per_second / 1e3, 0, 'f', 1);
}

QString containerIdText(const TimingTables::Stream& stream) {
  if (stream.container_id < 0)
    return QString();
  QString text = stream.container_id_name.isEmpty() ? QString::number(stream.container_id)
                                                    : stream.container_id_name + QLatin1Char(' ') +
                                                          QString::number(stream.container_id);
  if (stream.container_id_name == QLatin1String("PID") || stream.container_id_name == QLatin1String("stream id"))
    text += QStringLiteral(" (0x%1)").arg(stream.container_id, 0, 16);
  return text;
}

QTableWidgetItem* cell(const QString& text, bool number) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if (number)
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

}  // namespace

StreamsWindow::StreamsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(tr("Corvanta") + tr(" - Streams"));
  createWidgets();
  resize(1200, 800);
  clear();
}

StreamsWindow::~StreamsWindow() = default;

void StreamsWindow::createWidgets() {
  pages = new QStackedWidget(this);
  message = new QLabel(pages);
  message->setAlignment(Qt::AlignCenter);
  message->setWordWrap(true);
  pages->addWidget(message);

  auto* content = new QSplitter(Qt::Vertical, pages);
  stream_table = new QTableWidget(0, 11, content);
  stream_table->setHorizontalHeaderLabels({tr("Stream"), tr("Kind"), tr("Codec"), tr("Container id"), tr("Frames"),
                                           tr("Duration"), tr("Average bitrate"), tr("Peak bitrate (1 s)"),
                                           tr("Frame rate"), tr("Key interval min / mean / max"), tr("Time base")});
  stream_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  stream_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  stream_table->verticalHeader()->setVisible(false);
  stream_table->horizontalHeader()->setStretchLastSection(true);
  connect(stream_table, &QTableWidget::itemSelectionChanged, this, &StreamsWindow::streamsChosen);

  auto* lower = new QSplitter(Qt::Horizontal, content);
  lower->addWidget(createChartPanel());
  lower->addWidget(createFaultPanel());
  lower->setStretchFactor(0, 3);
  lower->setStretchFactor(1, 1);
  content->addWidget(stream_table);
  content->addWidget(lower);
  content->setStretchFactor(0, 1);
  content->setStretchFactor(1, 4);
  pages->addWidget(content);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
}

QWidget* StreamsWindow::createChartPanel() {
  auto* panel = new QWidget();
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* tools = new QHBoxLayout();
  tools->addWidget(new QLabel(tr("x axis:")));
  x_axis_box = new QComboBox();
  x_axis_box->addItem(tr("time"), int(FrameSeries::XAxis::Time));
  x_axis_box->addItem(tr("frame order"), int(FrameSeries::XAxis::Order));
  connect(x_axis_box, &QComboBox::currentIndexChanged, this, &StreamsWindow::rebuildCharts);
  tools->addWidget(x_axis_box);
  tools->addStretch();
  tools->addWidget(new QLabel(tr("wheel zooms, drag pans, double click shows all")));
  auto* png = new QPushButton(tr("Export PNG ..."));
  auto* csv = new QPushButton(tr("Export CSV ..."));
  connect(png, &QPushButton::clicked, this, &StreamsWindow::exportPng);
  connect(csv, &QPushButton::clicked, this, &StreamsWindow::exportCsv);
  tools->addWidget(png);
  tools->addWidget(csv);
  layout->addLayout(tools);

  chart_tabs = new QTabWidget();
  for (FrameSeries::Chart which : kCharts) {
    auto* chart = new FrameChart();
    connect(chart, &FrameChart::frameChosen, this, &StreamsWindow::elementChosen);
    chart_tabs->addTab(chart, chartTitle(which));
  }
  chart_built.assign(std::size(kCharts), false);
  connect(chart_tabs, &QTabWidget::currentChanged, this, &StreamsWindow::chartChosen);
  layout->addWidget(chart_tabs);
  return panel;
}

QWidget* StreamsWindow::createFaultPanel() {
  auto* panel = new QWidget();
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  fault_count = new QLabel();
  layout->addWidget(fault_count);
  auto* limit_row = new QHBoxLayout();
  limit_row->addWidget(new QLabel(tr("Key-frame interval limit:")));
  key_interval_box = new QSpinBox();
  key_interval_box->setRange(1, 1000000);
  key_interval_box->setSuffix(tr(" frames"));
  key_interval_box->setValue(
      settings()->value(QString::fromLatin1(kKeyIntervalLimitKey), kDefaultKeyIntervalLimit).toInt());
  connect(key_interval_box, &QSpinBox::valueChanged, this, &StreamsWindow::keyIntervalLimitChanged);
  limit_row->addWidget(key_interval_box);
  layout->addLayout(limit_row);
  fault_list = new QTreeWidget();
  fault_list->setRootIsDecorated(false);
  fault_list->setHeaderLabels({tr("Fault"), tr("Stream"), tr("Element"), tr("Detail")});
  fault_list->setUniformRowHeights(true);
  connect(fault_list, &QTreeWidget::itemClicked, this, &StreamsWindow::faultClicked);
  connect(fault_list, &QTreeWidget::itemActivated, this, &StreamsWindow::faultClicked);
  layout->addWidget(fault_list);
  return panel;
}

FrameChart* StreamsWindow::chart(FrameSeries::Chart which) const {
  return static_cast<FrameChart*>(chart_tabs->widget(int(which)));
}

FrameChart* StreamsWindow::currentChart() const {
  return static_cast<FrameChart*>(chart_tabs->currentWidget());
}

bool StreamsWindow::showsMessage() const {
  return pages->currentWidget() == message;
}

void StreamsWindow::showMessage(const QString& text) {
  message->setText(text);
  pages->setCurrentWidget(message);
}

void StreamsWindow::clear() {
  table = TimingTables();
  statistics.clear();
  {
    const QSignalBlocker blocker(stream_table);
    stream_table->setRowCount(0);
  }
  fault_list->clear();
  for (int tab = 0; tab < chart_tabs->count(); ++tab)
    static_cast<FrameChart*>(chart_tabs->widget(tab))->showText(QString());
  showMessage(tr("No file is open."));
}

void StreamsWindow::load(const QSqlDatabase& database) {
  clear();
  switch (table.load(database)) {
    case TimingTables::State::NoConnection:
      return;
    case TimingTables::State::NoTables:
      showMessage(tr("This database has no stream and frame tables: it was written by an older version of the "
                     "analyser."));
      return;
    case TimingTables::State::Empty:
      showMessage(tr("The analyser found no frames in this file: its format module lists no streams over time."));
      return;
    case TimingTables::State::Failed:
      showMessage(tr("The stream and frame tables could not be read: %1").arg(table.error()));
      return;
    case TimingTables::State::Loaded:
      break;
  }
  for (const TimingTables::Stream& stream : table.streams())
    statistics.emplace_back(table, stream);
  pages->setCurrentIndex(1);
  fillStreamTable();
  fillFaultList();
  // The first video stream, else the first stream, is what people look at first.
  int chosen = table.streams().front().number;
  for (const TimingTables::Stream& stream : table.streams())
    if (stream.kind == QLatin1String("video")) {
      chosen = stream.number;
      break;
    }
  chooseStreams({chosen});
}

void StreamsWindow::fillStreamTable() {
  const QSignalBlocker blocker(stream_table);
  stream_table->setRowCount(int(table.streams().size()));
  for (int row = 0; row < stream_table->rowCount(); ++row) {
    const TimingTables::Stream& stream = table.streams()[size_t(row)];
    const StreamStatistics& figures = statistics[size_t(row)];
    auto* number = cell(QString::number(stream.number), true);
    number->setData(kStreamRole, stream.number);
    stream_table->setItem(row, 0, number);
    stream_table->setItem(row, 1, cell(stream.kind, false));
    stream_table->setItem(row, 2, cell(stream.codec, false));
    stream_table->setItem(row, 3, cell(containerIdText(stream), false));
    stream_table->setItem(row, 4, cell(QString::number(figures.frames), true));
    stream_table->setItem(row, 5, cell(figures.duration > 0 ? QStringLiteral("%1 s").arg(figures.duration, 0, 'f', 3)
                                                            : QString(), true));
    stream_table->setItem(row, 6, cell(bitrateText(figures.average_bitrate), true));
    stream_table->setItem(row, 7, cell(bitrateText(figures.peak_bitrate), true));
    stream_table->setItem(row, 8, cell(figures.frame_rate > 0 ? QString::number(figures.frame_rate, 'f', 3)
                                                              : QString(), true));
    stream_table->setItem(row, 9, cell(figures.key_interval_max > 0
                                           ? QStringLiteral("%1 / %2 / %3")
                                                 .arg(figures.key_interval_min)
                                                 .arg(figures.key_interval_mean, 0, 'f', 1)
                                                 .arg(figures.key_interval_max)
                                           : QString(), true));
    stream_table->setItem(row, 10, cell(stream.hasTimeBase() ? QStringLiteral("%1/%2").arg(stream.time_base_num)
                                                                   .arg(stream.time_base_den)
                                                             : QString(), false));
  }
  stream_table->resizeColumnsToContents();
}

void StreamsWindow::fillFaultList() {
  fault_list->clear();
  std::vector<TimingTables::Fault> faults = table.faults();
  const std::vector<TimingTables::Fault> timing = TimingFaults(key_interval_box->value()).find(table);
  faults.insert(faults.end(), timing.begin(), timing.end());
  // Within a priority the faults stay in file order, the container's own ones first.
  std::stable_sort(faults.begin(), faults.end(),
                   [](const TimingTables::Fault& a, const TimingTables::Fault& b) { return a.priority < b.priority; });
  QList<QTreeWidgetItem*> items;
  items.reserve(int(faults.size()));
  for (const TimingTables::Fault& fault : faults) {
    auto* item = new QTreeWidgetItem({fault.check_name, fault.stream > 0 ? QString::number(fault.stream) : QString(),
                                      QString::number(fault.element_id), fault.detail});
    item->setData(0, kElementRole, fault.element_id);
    item->setToolTip(3, fault.detail);
    items.append(item);
  }
  fault_list->addTopLevelItems(items);
  for (int column = 0; column < 3; ++column)
    fault_list->resizeColumnToContents(column);
  fault_count->setText(faults.empty() ? tr("No faults found.") : tr("%n fault(s):", nullptr, int(faults.size())));
}

void StreamsWindow::chooseStreams(const std::vector<int>& stream_numbers) {
  {
    const QSignalBlocker blocker(stream_table);
    QItemSelection selection;
    for (int row = 0; row < stream_table->rowCount(); ++row) {
      const int number = stream_table->item(row, 0)->data(kStreamRole).toInt();
      if (std::find(stream_numbers.begin(), stream_numbers.end(), number) != stream_numbers.end())
        selection.select(stream_table->model()->index(row, 0),
                         stream_table->model()->index(row, stream_table->columnCount() - 1));
    }
    stream_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  }
  streamsChosen();
}

std::vector<int> StreamsWindow::chosenStreams() const {
  std::vector<int> numbers;
  for (int row = 0; row < stream_table->rowCount(); ++row)
    if (stream_table->selectionModel()->isRowSelected(row, QModelIndex()))
      numbers.push_back(stream_table->item(row, 0)->data(kStreamRole).toInt());
  return numbers;
}

void StreamsWindow::streamsChosen() {
  rebuildCharts();
}

void StreamsWindow::rebuildCharts() {
  std::fill(chart_built.begin(), chart_built.end(), false);
  buildChart(chart_tabs->currentIndex());
}

void StreamsWindow::chartChosen() {
  buildChart(chart_tabs->currentIndex());
}

// Only the chart in sight is built; the others wait until their tab is chosen.
void StreamsWindow::buildChart(int tab) {
  if (tab < 0 || size_t(tab) >= chart_built.size() || chart_built[size_t(tab)] || showsMessage())
    return;
  chart_built[size_t(tab)] = true;
  const FrameSeries::Chart which = kCharts[tab];
  const auto x_axis = FrameSeries::XAxis(x_axis_box->currentData().toInt());
  const FrameSeries series_maker(table);
  std::vector<FrameSeries::Series> all;
  for (int number : chosenStreams()) {
    const TimingTables::Stream* stream = table.stream(number);
    if (!stream)
      continue;
    std::vector<FrameSeries::Series> of_stream = series_maker.build(which, x_axis, *stream);
    for (FrameSeries::Series& one : of_stream)
      all.push_back(std::move(one));
  }
  chart(which)->setSeries(which, FrameSeries::effectiveXAxis(which, x_axis), std::move(all), &table,
                          emptyChartText(which));
}

QString StreamsWindow::emptyChartText(FrameSeries::Chart which) const {
  if (chosenStreams().empty())
    return tr("Choose one or more streams in the table above.");
  if (which == FrameSeries::Chart::PcrInterval || which == FrameSeries::Chart::PcrAccuracy)
    return tr("Choose a \"pcr\" stream: the chosen streams carry no PCR.");
  return tr("The chosen streams have nothing to show here (no times known).");
}

void StreamsWindow::keyIntervalLimitChanged(int limit) {
  settings()->setValue(QString::fromLatin1(kKeyIntervalLimitKey), limit);
  if (!showsMessage())
    fillFaultList();
}

void StreamsWindow::faultClicked(QTreeWidgetItem* item) {
  if (!item)
    return;
  const qint64 element = item->data(0, kElementRole).toLongLong();
  if (element > 0)
    Q_EMIT elementChosen(element);
}

QString StreamsWindow::exportName(const QString& suffix) const {
  QString name = chart_tabs->tabText(chart_tabs->currentIndex()).toLower();
  name.replace(QLatin1Char(' '), QLatin1Char('-')).remove(QLatin1Char('/'));
  return name.replace(QStringLiteral("--"), QStringLiteral("-")) + suffix;
}

void StreamsWindow::exportPng() {
  const QString file_name = QFileDialog::getSaveFileName(this, tr("Export chart as PNG"), exportName(".png"),
                                                         tr("PNG images (*.png)"), nullptr,
                                                         QFileDialog::DontUseNativeDialog);
  if (!file_name.isEmpty() && !currentChart()->exportPng(file_name))
    QMessageBox::warning(this, tr("Export"), tr("Could not write %1.").arg(file_name));
}

void StreamsWindow::exportCsv() {
  const QString file_name = QFileDialog::getSaveFileName(this, tr("Export chart data as CSV"), exportName(".csv"),
                                                         tr("CSV files (*.csv)"), nullptr,
                                                         QFileDialog::DontUseNativeDialog);
  if (!file_name.isEmpty() && !currentChart()->exportCsv(file_name))
    QMessageBox::warning(this, tr("Export"), tr("Could not write %1.").arg(file_name));
}
