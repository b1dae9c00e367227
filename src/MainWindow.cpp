#include "MainWindow.h"

#include "AboutDialog.h"
#include "BinViewArea.h"
#include "BinViewFile.h"
#include "BinViewWidget.h"
#include "Edition.h"
#include "ElementLocator.h"
#include "ElementSearch.h"
#include "FindDialog.h"
#include "GoToElementDialog.h"
#include "GoToOffsetDialog.h"
#include "MediaInfoProcess.h"
#include "Plugins.h"
#include "ProgressDialog.h"
#include "PropertiesDialog.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "StreamsWindow.h"
#include "ViewerDatabase.h"
#include "settings.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

namespace {

// Makes one menu entry; every entry of this window goes through here.
QAction* createAction(QMenu* menu, const QString& text, QObject* receiver, const char* slot,
                      const QString& shortcut, const QString& icon) {
  auto* action = new QAction(text, menu);
  if (!icon.isEmpty())
    action->setIcon(QIcon(icon));
  if (!shortcut.isEmpty())
    action->setShortcut(QKeySequence(shortcut));
  QObject::connect(action, SIGNAL(triggered(bool)), receiver, slot);
  if (menu)
    menu->addAction(action);
  return action;
}

QRect availableScreenArea() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// Reads the byte part of an offset or size text ("100", or "100:3" for 100 bytes and 3 bits).
qint64 wholeBytes(const QString& bits_text) {
  return bits_text.section(QLatin1Char(':'), 0, 0).toLongLong();
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent, Qt::WindowFlags()) {
  setWindowTitle(baseTitle());

  auto* splitter = new QSplitter();
  bin_view_widget = new BinViewWidget(splitter);
  tree_widget = new SqlTreeWidget(splitter);

  buildFileFilters();

  splitter->addWidget(bin_view_widget);
  splitter->addWidget(tree_widget);

  createMenus();
  setCentralWidget(splitter);

  const QRect available = availableScreenArea();
  resize(qRound(available.width() * 8 / 10.0), qRound(available.height() * 8 / 10.0));
  centreOnScreen(this);

  loadSettings();

  connect(tree_widget, SIGNAL(clicked(const QModelIndex&, bool)), this,
          SLOT(treeClicked(const QModelIndex&, bool)));

  // A double click on a byte goes to its element; the hex view itself only shows.
  bin_view_widget->binViewArea()->viewport()->installEventFilter(this);
  setAcceptDrops(true);
}

MainWindow::~MainWindow() {
  delete media_info_view;
  delete streams_window;
}

QString MainWindow::baseTitle() {
  return tr("Corvanta") + QStringLiteral(" - ") + tr("%1 Edition").arg(Edition::name());
}

void MainWindow::createMenus() {
  QMenu* file_menu = menuBar()->addMenu(tr("File"));
  createAction(file_menu, tr("Open digital container ..."), this, SLOT(openContainer()), tr("Ctrl+O"), QString());
  close_action = createAction(file_menu, tr("Close"), this, SLOT(closeFile()), QString(), QString());
  close_action->setEnabled(false);
  view_media_info_action =
      createAction(file_menu, tr("View MediaInfo ..."), this, SLOT(viewMediaInfoOutput()), QString(), QString());
  view_media_info_action->setEnabled(false);
  file_menu->addSeparator();
  createAction(file_menu, tr("Properties ..."), this, SLOT(properties()), tr("Ctrl+P"), QString());
  file_menu->addSeparator();
  createAction(file_menu, tr("Quit"), this, SLOT(close()), tr("Ctrl+Q"), QString());

  createGoMenu();
  createViewMenu();

  QMenu* help_menu = menuBar()->addMenu(tr("Help"));
  createAction(help_menu, tr("About ..."), this, SLOT(about()), QString(), QString());
  createAction(help_menu, tr("Get more functionality ..."), this, SLOT(goToWebsite()), QString(), QString());

  placeMenuLogo();
}

void MainWindow::placeMenuLogo() {
  auto* logo = new QLabel();
  const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
  logo->setStyleSheet(
      QStringLiteral("image: url(:resources/menu-logo.svg); margin-right: %1").arg(margin));
  const QImage image(QStringLiteral(":resources/menu-logo.svg"));
  logo->setFixedSize(margin + image.width(), menuBar()->sizeHint().height());
  menuBar()->setCornerWidget(logo, Qt::TopRightCorner);
}

void MainWindow::centreOnScreen(QWidget* window) {
  QRect frame = window->frameGeometry();
  frame.moveCenter(availableScreenArea().center());
  window->move(frame.topLeft());
}

void MainWindow::loadSettings() {
  QSettings* store = settings();
  if (store->contains(QStringLiteral("main/size")))
    resize(store->value(QStringLiteral("main/size")).toSize());
  if (store->contains(QStringLiteral("main/pos")))
    move(store->value(QStringLiteral("main/pos")).toPoint());
  tree_widget->loadSettings();
  bin_view_widget->loadSettings();
}

void MainWindow::saveSettings() {
  QSettings* store = settings();
  store->setValue(QStringLiteral("main/size"), size());
  store->setValue(QStringLiteral("main/pos"), pos());
  tree_widget->saveSettings();
  bin_view_widget->saveSettings();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (media_info_view) {
    delete media_info_view;
    media_info_view = nullptr;
  }
  delete streams_window;
  streams_window = nullptr;
  saveSettings();
  QMainWindow::closeEvent(event);
}

void MainWindow::treeClicked(const QModelIndex& index, bool update_scroll_pos) {
  if (sender() != tree_widget || index.row() < 0 || index.column() < 0 || !index.model())
    return;
  const QAbstractItemModel* model = tree_widget->tree()->model();
  const QString offset_text = model->index(index.row(), 1).data(Qt::DisplayRole).toString();
  const QString size_text = model->index(index.row(), 2).data(Qt::DisplayRole).toString();
  if (offset_text.isEmpty() || size_text.isEmpty())
    return;

  const qint64 offset = wholeBytes(offset_text);
  // Leftover bits still occupy one more byte on screen.
  const qint64 size = wholeBytes(size_text) + (size_text.contains(QLatin1Char(':')) ? 1 : 0);
  bin_view_widget->binViewArea()->setSelection(offset, size, update_scroll_pos);
}

void MainWindow::viewMediaInfoOutput() {
  if (!media_info_view) {
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    const QFontMetrics metrics(font);

    media_info_view = new QTextEdit();
    media_info_view->setWindowTitle(tr("Corvanta") + tr(" - MediaInfo"));
    media_info_view->setReadOnly(true);
    media_info_view->setFont(font);
    media_info_view->resize(100 * metrics.horizontalAdvance(QLatin1Char('#')), 30 * metrics.height());
    centreOnScreen(media_info_view);
    connect(this, SIGNAL(mediaInfoChanged(const QString&)), media_info_view, SLOT(setText(const QString&)));
  }
  media_info_view->setText(media_info_output.join(QLatin1Char('\n')));
  media_info_view->show();
}

void MainWindow::closeFile() {
  setWindowTitle(baseTitle());
  bin_view_widget->binViewArea()->closeFile();
  tree_widget->clearTree();
  close_action->setEnabled(false);
  view_media_info_action->setEnabled(false);
  setGoMenuEnabled(false);
  setViewMenuEnabled(false);
  streams_loaded = false;
  if (streams_window) {
    streams_window->clear();
    streams_window->close();
  }
  if (media_info_view)
    media_info_view->close();
  Q_EMIT mediaInfoChanged(QString());
}

void MainWindow::properties() {
  PropertiesDialog dialog(bin_view_widget, tree_widget, this, Qt::WindowFlags());
  dialog.exec();
}

void MainWindow::about() {
  AboutDialog dialog(this, Qt::WindowFlags());
  dialog.exec();
}

void MainWindow::goToWebsite() {
  QDesktopServices::openUrl(QUrl(Edition::websiteUrl()));
}

// ---- Opening and analysing a container ----

void MainWindow::buildFileFilters() {
  if (!extensions.isEmpty())
    extensions.clear();
  const QList<Plugins::Plugin> plugins = Plugins::collectPlugins(false);
  for (const Plugins::Plugin& plugin : plugins) {
    QStringList patterns = plugin.extensions;
    patterns.sort();
    for (QString& pattern : patterns)
      pattern.prepend(QStringLiteral("*."));
    filters.append(tr("%1 containers (%2)").arg(plugin.name, patterns.join(QLatin1Char(' '))));
    extensions.append(patterns);
  }
  filters.sort();
  if (!filters.isEmpty() && !extensions.isEmpty()) {
    extensions.removeDuplicates();
    extensions.sort();
  }
}

void MainWindow::openContainer() {
  QStringList dialog_filters;
  if (!extensions.isEmpty())
    dialog_filters.append(tr("All digital containers (%1)").arg(extensions.join(QLatin1Char(' '))));
  dialog_filters.append(filters);
  dialog_filters.append(tr("All files (*.*)"));

  const QString start_path = settings()->value(QStringLiteral("main/path"), QString()).toString();
  QString selected_filter = settings()->value(QStringLiteral("main/filter"), QString()).toString();
  const QString file_name = QFileDialog::getOpenFileName(
      this, tr("Open ..."), start_path, dialog_filters.join(QStringLiteral(";;")), &selected_filter,
      QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
  if (file_name.isEmpty())
    return;

  settings()->setValue(QStringLiteral("main/path"), file_name);
  settings()->setValue(QStringLiteral("main/filter"), selected_filter);
  openChosenFile(file_name);
}

void MainWindow::openChosenFile(const QString& file_name) {
  // The previous file is closed whether the new one opens or not.
  closeFile();

  QString shown_name;
  const QString problem = checkFile(file_name, &shown_name);
  if (!problem.isEmpty()) {
    showError(problem);
    return;
  }

  bin_view_widget->binViewArea()->closeFile();
  tree_widget->clearTree();
  if (tree_widget->openFile(file_name, QString()) != 0) {
    showError(tr("File analyzing failed. File is corrupted or has an unknown format."));
    return;
  }
  bin_view_widget->binViewArea()->openFile(file_name);
  setWindowTitle(baseTitle() + QStringLiteral(" [%1]").arg(shown_name));
  runMediaInfo(file_name);
  setGoMenuEnabled(true);
  setViewMenuEnabled(true);
  // The arrow keys walk the elements at once.
  tree_widget->tree()->setFocus();
}

// The message of the first check the chosen file fails, or an empty string.
QString MainWindow::checkFile(const QString& file_name, QString* shown_name) const {
  QFileInfo info(file_name);
  if (!info.exists())
    return tr("File does not exists.");
  if (info.isSymLink())
    info = QFileInfo(info.symLinkTarget());
  if (!info.isFile())
    return tr("Selected file is not a regular file.");
  if (!info.isReadable())
    return tr("Selected file is unreadable. Check permissions");
  if (info.size() == 0)
    return tr("Selected file has zero length.");
  *shown_name = info.fileName();
  return QString();
}

void MainWindow::runMediaInfo(const QString& file_name) {
  ProgressDialog dialog(this, Qt::WindowFlags());
  dialog.setCancelButtonVisible(true);
  dialog.setWindowTitle(tr("Corvanta"));
  dialog.setLabelText(tr("Getting information from MediaInfo ..."));
  dialog.setFixedHeight(dialog.sizeHint().height());
  dialog.setMinimumWidth(dialog.sizeHint().width());

  auto* runner = new MediaInfoProcess(file_name);
  connect(runner, SIGNAL(finishedSignal(int, QProcess::ExitStatus)), &dialog, SLOT(accept()),
          Qt::QueuedConnection);
  connect(runner, SIGNAL(error(QProcess::ProcessError)), &dialog, SLOT(accept()), Qt::QueuedConnection);
  connect(&dialog, SIGNAL(rejected()), runner, SLOT(kill()), Qt::DirectConnection);

  runner->start();
  dialog.exec();

  media_info_output = runner->output();
  while (!media_info_output.isEmpty() && media_info_output.last().isEmpty())
    media_info_output.removeLast();
  Q_EMIT mediaInfoChanged(media_info_output.join(QLatin1Char('\n')));
  if (!media_info_output.isEmpty())
    view_media_info_action->setEnabled(true);
  close_action->setEnabled(true);

  delete runner;
}

void MainWindow::showError(const QString& message) {
  QMessageBox::critical(this, tr("Error"), message, QMessageBox::Ok);
}

// ---- The View menu: the Streams window ----

void MainWindow::createViewMenu() {
  view_menu = menuBar()->addMenu(tr("View"));
  view_streams_action = createAction(view_menu, tr("Streams ..."), this, SLOT(viewStreams()), tr("Ctrl+T"), QString());
  setViewMenuEnabled(false);
}

void MainWindow::setViewMenuEnabled(bool enabled) {
  view_menu->setEnabled(enabled);
  for (QAction* action : view_menu->actions())
    action->setEnabled(enabled);
}

void MainWindow::viewStreams() {
  QSqlDatabase* connection = tree_widget->viewerDatabase()->sqlConnection();
  if (!connection)
    return;
  if (!streams_window) {
    streams_window = new StreamsWindow();
    const QRect available = availableScreenArea();
    streams_window->resize(qRound(available.width() * 7 / 10.0), qRound(available.height() * 7 / 10.0));
    centreOnScreen(streams_window);
    connect(streams_window, &StreamsWindow::elementChosen, this, &MainWindow::goToElementId);
  }
  if (!streams_loaded) {
    streams_window->load(*connection);
    streams_loaded = true;
  }
  streams_window->show();
  streams_window->raise();
  streams_window->activateWindow();
}

void MainWindow::goToElementId(qint64 id) {
  if (!tree_widget->viewerDatabase()->sqlConnection() || id < 1)
    return;
  tree_widget->tree()->goToId(id, true, true);
}

// ---- Finding elements: the Go menu, the hex view's double click, dropped files ----

void MainWindow::createGoMenu() {
  go_menu = menuBar()->addMenu(tr("Go"));
  createAction(go_menu, tr("Go to element ..."), this, SLOT(goToElement()), tr("Ctrl+G"), QString());
  createAction(go_menu, tr("Go to offset ..."), this, SLOT(goToOffset()), tr("Ctrl+Shift+G"), QString());
  go_menu->addSeparator();
  createAction(go_menu, tr("Find ..."), this, SLOT(find()), tr("Ctrl+F"), QString());
  createAction(go_menu, tr("Find next"), this, SLOT(findNext()), tr("F3"), QString());
  createAction(go_menu, tr("Find previous"), this, SLOT(findPrevious()), tr("Shift+F3"), QString());
  setGoMenuEnabled(false);
}

void MainWindow::setGoMenuEnabled(bool enabled) {
  go_menu->setEnabled(enabled);
  // The shortcuts follow the entries, not the menu.
  for (QAction* action : go_menu->actions())
    action->setEnabled(enabled);
}

void MainWindow::goToElement() {
  GoToElementDialog dialog(tree_widget->tree(), this, Qt::WindowFlags());
  dialog.exec();
  tree_widget->tree()->setFocus();
}

void MainWindow::goToOffset() {
  GoToOffsetDialog dialog(this, Qt::WindowFlags());
  if (dialog.exec() == QDialog::Accepted)
    goToByte(dialog.offset());
  tree_widget->tree()->setFocus();
}

bool MainWindow::goToByte(qint64 byte_offset, bool update_hex_scroll_pos) {
  QSqlDatabase* connection = tree_widget->viewerDatabase()->sqlConnection();
  if (!connection)
    return false;
  ElementLocator locator(*connection);
  const qint64 id = locator.elementAtByte(byte_offset);
  if (id <= 0) {
    QMessageBox::information(this, tr("Go to offset"),
                             tr("No element holds byte %1 (0x%2).").arg(byte_offset).arg(byte_offset, 0, 16),
                             QMessageBox::Ok);
    return false;
  }
  tree_widget->tree()->goToId(id, true, update_hex_scroll_pos);
  return true;
}

qint64 MainWindow::byteAtHexPosition(const QPoint& position) const {
  const BinViewArea* area = bin_view_widget->binViewArea();
  const qint64 file_size = area->binViewFile().size();
  if (file_size <= 0 || area->cellWidth() <= 0 || area->cellHeight() <= 0 || position.x() < 0 || position.y() < 0)
    return -1;
  const int bytes_per_line = area->bytesPerLine();
  const qint64 line = area->topLine() + position.y() / area->cellHeight();
  const int cell = position.x() / area->cellWidth();
  for (int i = 0; i < bytes_per_line; ++i) {
    const int hex = BinViewArea::hexCell(i);
    if (cell == hex || cell == hex + 1 || cell == BinViewArea::characterCell(bytes_per_line, i)) {
      const qint64 byte = line * bytes_per_line + i;
      return byte < file_size ? byte : -1;
    }
  }
  return -1;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && watched == bin_view_widget->binViewArea()->viewport() &&
      close_action->isEnabled()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const qint64 byte = byteAtHexPosition(mouse->position().toPoint());
    // The byte is on screen already: the hex view keeps its place.
    if (byte >= 0)
      goToByte(byte, false);
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setSearchPace(int step_milliseconds, qint64 block_ids) {
  search_step_milliseconds = qMax(step_milliseconds, 0);
  search_block_ids = qMax<qint64>(block_ids, 1);
}

void MainWindow::find() {
  FindDialog dialog(this, Qt::WindowFlags());
  dialog.setSearch(search_text, search_whole);
  if (dialog.exec() == QDialog::Accepted && !dialog.text().isEmpty()) {
    search_text = dialog.text();
    search_whole = dialog.whole();
    runSearch(false);
  }
  tree_widget->tree()->setFocus();
}

void MainWindow::findNext() {
  if (search_text.isEmpty())
    find();
  else
    runSearch(false);
}

void MainWindow::findPrevious() {
  if (search_text.isEmpty())
    find();
  else
    runSearch(true);
}

// Searches from the current element in steps; when the first step does not end it, the
// rest runs under a progress dialog whose cancel button stops it between two steps.
void MainWindow::runSearch(bool backward) {
  ViewerDatabase* database = tree_widget->viewerDatabase();
  QSqlDatabase* connection = database->sqlConnection();
  if (!connection || search_text.isEmpty())
    return;
  SqlTree* tree = tree_widget->tree();
  ElementSearch search(*connection, search_text, search_whole, backward, tree->currentId(), database->lastId());
  search.setBlockIds(search_block_ids);
  if (search.step(search_step_milliseconds) == ElementSearch::State::Running) {
    ProgressDialog dialog(this, Qt::WindowFlags());
    dialog.setCancelButtonVisible(true);
    dialog.setWindowTitle(tr("Corvanta"));
    dialog.setLabelText(tr("Searching for \"%1\" ...").arg(search_text));
    dialog.setFixedHeight(dialog.sizeHint().height());
    dialog.setMinimumWidth(dialog.sizeHint().width());
    dialog.setValue(search.percent());
    bool cancelled = false;
    connect(&dialog, &QDialog::rejected, &dialog, [&cancelled] { cancelled = true; });
    QTimer steps;
    steps.setInterval(0);
    connect(&steps, &QTimer::timeout, &dialog, [&] {
      if (cancelled || search.step(search_step_milliseconds) != ElementSearch::State::Running) {
        steps.stop();
        dialog.accept();
        return;
      }
      dialog.setValue(search.percent());
    });
    steps.start();
    dialog.exec();
    if (cancelled)
      return;
  }
  if (search.state() == ElementSearch::State::Found) {
    tree->goToId(search.foundId(), true, true);
    tree->setFocus();
  } else {
    QMessageBox::information(this, tr("Find"), tr("\"%1\" was not found.").arg(search_text), QMessageBox::Ok);
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.first().isLocalFile())
    event->acceptProposedAction();
}

// A dropped file takes the road of a file chosen in the open dialog.
void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.first().isLocalFile())
    return;
  event->acceptProposedAction();
  const QString file_name = urls.first().toLocalFile();
  settings()->setValue(QStringLiteral("main/path"), file_name);
  // Opening shows dialogs of its own; the drag must be over first.
  QTimer::singleShot(0, this, [this, file_name] { openChosenFile(file_name); });
}
