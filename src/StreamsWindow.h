#pragma once

#include "FrameSeries.h"
#include "TimingTables.h"
#include "StreamStatistics.h"

#include <QWidget>

#include <vector>

class FrameChart;
class QComboBox;
class QLabel;
class QSpinBox;
class QSqlDatabase;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The Streams window: the streams of the open file with their figures, charts over time
// of the chosen streams, and the faults, each point and fault one click from its element.
// It reads the database's timing tables once per file; a database without them (written
// by an older tool) or with no frames gets a message instead.
class StreamsWindow : public QWidget {
  Q_OBJECT

 public:
  static const char* const kKeyIntervalLimitKey;
  static constexpr int kDefaultKeyIntervalLimit = 300;

  explicit StreamsWindow(QWidget* parent = nullptr);
  ~StreamsWindow() override;

  // Reads the timing tables of `database` and shows them.
  void load(const QSqlDatabase& database);
  // Forgets the file: the window shows that no file is open.
  void clear();

  const TimingTables& frameTable() const { return table; }
  QTableWidget* streamTable() const { return stream_table; }
  QTabWidget* chartTabs() const { return chart_tabs; }
  FrameChart* chart(FrameSeries::Chart which) const;
  FrameChart* currentChart() const;
  QTreeWidget* faultList() const { return fault_list; }
  QLabel* messageLabel() const { return message; }
  // True while the message stands in place of the streams.
  bool showsMessage() const;
  QSpinBox* keyIntervalLimitBox() const { return key_interval_box; }
  QComboBox* xAxisBox() const { return x_axis_box; }
  // Chooses the streams whose frames the charts show.
  void chooseStreams(const std::vector<int>& stream_numbers);

 Q_SIGNALS:
  // A chart point or a fault leads to this element.
  void elementChosen(qint64 element_id);

 private Q_SLOTS:
  void streamsChosen();
  void chartChosen();
  void keyIntervalLimitChanged(int limit);
  void faultClicked(QTreeWidgetItem* item);
  void exportPng();
  void exportCsv();

 private:
  void createWidgets();
  QWidget* createChartPanel();
  QWidget* createFaultPanel();
  void showMessage(const QString& text);
  void fillStreamTable();
  void fillFaultList();
  void rebuildCharts();
  void buildChart(int tab);
  std::vector<int> chosenStreams() const;
  QString emptyChartText(FrameSeries::Chart which) const;
  QString exportName(const QString& suffix) const;

  TimingTables table;
  std::vector<StreamStatistics> statistics;
  std::vector<bool> chart_built;

  QStackedWidget* pages = nullptr;
  QLabel* message = nullptr;
  QTableWidget* stream_table = nullptr;
  QTabWidget* chart_tabs = nullptr;
  QComboBox* x_axis_box = nullptr;
  QTreeWidget* fault_list = nullptr;
  QLabel* fault_count = nullptr;
  QSpinBox* key_interval_box = nullptr;
};
