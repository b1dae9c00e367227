#include "MainWindow.h"

#include "AboutDialog.h"
#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "Edition.h"
#include "MediaInfoProcess.h"
#include "Plugins.h"
#include "ProgressDialog.h"
#include "PropertiesDialog.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "settings.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
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
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTextEdit>
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
}

MainWindow::~MainWindow() {
  delete media_info_view;
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
