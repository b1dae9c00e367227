#include "SqlTreeWidget.h"

#include <QFutureWatcher>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSettings>
#include <QSqlDatabase>
#include <QtConcurrent/QtConcurrentRun>

#include "Parser.h"
#include "ProgressDialog.h"
#include "SqlTree.h"
#include "SqlTreeHeader.h"
#include "ViewerDatabase.h"
#include "settings.h"

namespace {

constexpr double kDefaultFontSize = 10.0;

}  // namespace

SqlTreeWidget::SqlTreeWidget(QWidget* parent) : QWidget(parent), database(new ViewerDatabase()) {
  auto* grid = new QGridLayout();
  setLayout(grid);
  first_id = 1;
  rows = 0;
  scroll_bar = new QScrollBar(Qt::Vertical);
  scroll_bar->setEnabled(false);
  tree_view = new SqlTree(database, scroll_bar, nullptr);
  grid->addWidget(tree_view, 1, 0);
  grid->addWidget(scroll_bar, 1, 1);

  connect(scroll_bar, &QScrollBar::valueChanged, this, &SqlTreeWidget::scrollTree);
  connect(tree_view, &SqlTree::clicked, this, &SqlTreeWidget::clicked);
  // The page must follow the viewport's height, which also changes when the view's
  // horizontal scroll bar comes or goes.
  tree_view->viewport()->installEventFilter(this);
}

SqlTreeWidget::~SqlTreeWidget() {
  tree_view->viewport()->removeEventFilter(this);
  delete database;
  database = nullptr;
  delete parser;
}

double SqlTreeWidget::treeFontSize() const {
  return tree_view->font().pointSizeF();
}

void SqlTreeWidget::scrollTree(int value) {
  first_id = database->idAt(value);
  tree_view->fillTree(first_id, rows, true);
}

int SqlTreeWidget::fittingRows() const {
  return qMax(tree_view->viewport()->height() / tree_view->rowHeight() - 1, 0);
}

void SqlTreeWidget::updateRowCount() {
  if (tree_view->model())
    rows = fittingRows();
  // Refill from the first row the user sees; it differs from this widget's own record
  // after goToId, keys or the mouse moved the page.
  first_id = tree_view->firstId();
  tree_view->fillTree(first_id, rows, true);
  tree_view->updateScrollBar();
}

void SqlTreeWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (event->size().height() != event->oldSize().height())
    updateRowCount();
}

bool SqlTreeWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == tree_view->viewport()) {
    const auto* resize = static_cast<QResizeEvent*>(event);
    // This can arrive while the view lays itself out for painting (its horizontal
    // scroll bar came or went), where an immediate refill and repaint must not run.
    if (resize->size().height() != resize->oldSize().height() && !row_count_pending) {
      row_count_pending = true;
      QMetaObject::invokeMethod(this, &SqlTreeWidget::updateRowCountIfChanged, Qt::QueuedConnection);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void SqlTreeWidget::updateRowCountIfChanged() {
  row_count_pending = false;
  if (fittingRows() != rows)
    updateRowCount();
}

void SqlTreeWidget::setTreeFontSize(double point_size) {
  if (!(point_size > 0.0))
    return;
  QFont font = tree_view->font();
  font.setPointSizeF(point_size);
  tree_view->setFont(font);
  updateRowCount();
}

void SqlTreeWidget::resetView() {
  first_id = 0;
  tree_view->clear();
  scroll_bar->setMinimum(0);
  tree_view->fillTree(1, 1, true);
  scroll_bar->setValue(0);
  updateRowCount();
  tree_view->setFirstId(1);
  tree_view->setCurrentId(1);
  tree_view->clearSelection();
  tree_view->goToId(1, false, true);
  tree_view->selectionModel()->select(tree_view->model()->index(0, 0), QItemSelectionModel::Select);
}

void SqlTreeWidget::clearTree() {
  database->closeConnection();
  resetView();
}

void SqlTreeWidget::loadSettings() {
  auto* header = qobject_cast<SqlTreeHeader*>(tree_view->header());
  if (header && settings()->contains("main/tree_viewer/columns"))
    header->restoreColumns(settings()->value("main/tree_viewer/columns").toStringList());
  double font_size = settings()->value("main/tree_viewer/font_size", kDefaultFontSize).toDouble();
  if (!(font_size > 0.0))
    font_size = kDefaultFontSize;
  setTreeFontSize(font_size);
}

void SqlTreeWidget::saveSettings() {
  if (auto* header = qobject_cast<SqlTreeHeader*>(tree_view->header()))
    settings()->setValue("main/tree_viewer/columns", header->columnsState());
  settings()->setValue("main/tree_viewer/font_size", tree_view->font().pointSizeF());
}

int SqlTreeWidget::openFile(const QString& file_name, const QString& extra) {
  database->closeConnection();

  ProgressDialog dialog(this, Qt::WindowFlags());
  dialog.setWindowTitle(tr("Corvanta"));
  dialog.setLabelText(tr("Analyzing file structure ..."));
  dialog.setFixedHeight(dialog.sizeHint().height());
  dialog.setMinimumWidth(dialog.sizeHint().width());

  QFutureWatcher<int> watcher;
  delete parser;
  parser = new Parser(this);
  connect(&watcher, &QFutureWatcher<int>::finished, &dialog, &ProgressDialog::accept);
  connect(parser, &Parser::progress, &dialog, &ProgressDialog::setValue);

  QFuture<int> future = QtConcurrent::run(&Parser::parseFile, parser, file_name,
                                          QStringLiteral(":memory:"), extra);
  watcher.setFuture(future);
  dialog.exec();

  const int result = future.result();
  QSqlDatabase* connection = result == 0 ? parser->getConnection() : nullptr;
  if (connection) {
    database->setConnection(connection);
    resetView();
    return 0;
  }
  delete parser;
  parser = nullptr;
  resetView();
  return -1;
}
