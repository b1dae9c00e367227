#pragma once

#include <QMainWindow>
#include <QModelIndex>
#include <QStringList>

class BinViewWidget;
class SqlTreeWidget;
class StreamsWindow;
class QAction;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QTextEdit;

// The program's only main window: the hex viewer and the element tree side by side,
// the menus, the title, and the MediaInfo report of the open file.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Checks, analyses and shows a file as if it had been chosen in the open dialog.
  void openChosenFile(const QString& file_name);

  // The title shown while no file is open.
  static QString baseTitle();

  BinViewWidget* binViewWidget() const { return bin_view_widget; }
  SqlTreeWidget* treeWidget() const { return tree_widget; }
  QStringList mediaInfoOutput() const { return media_info_output; }
  QTextEdit* mediaInfoView() const { return media_info_view; }
  QAction* viewMediaInfoAction() const { return view_media_info_action; }
  QAction* closeAction() const { return close_action; }
  QStringList fileFilters() const { return filters; }
  QStringList fileExtensions() const { return extensions; }
  QMenu* goMenu() const { return go_menu; }
  QMenu* viewMenu() const { return view_menu; }
  QAction* viewStreamsAction() const { return view_streams_action; }
  // The Streams window, once it has been opened; owned by this window.
  StreamsWindow* streamsWindow() const { return streams_window; }

  // Goes to the deepest element holding byte `byte_offset`: its ancestors are opened,
  // it is selected and its bytes are highlighted. A byte that no element holds is
  // reported in a message box; false then.
  bool goToByte(qint64 byte_offset, bool update_hex_scroll_pos = true);
  // The byte of the open file under a point of the hex view's viewport, or -1.
  qint64 byteAtHexPosition(const QPoint& position) const;
  // How long one step of a search runs and how many ids it compares per query.
  void setSearchPace(int step_milliseconds, qint64 block_ids);

 Q_SIGNALS:
  void mediaInfoChanged(QString media_info_output);

 protected Q_SLOTS:
  void treeClicked(const QModelIndex& index, bool update_scroll_pos);
  void closeEvent(QCloseEvent* event) override;
  void saveSettings();
  void loadSettings();
  void properties();
  void openContainer();
  void viewMediaInfoOutput();
  void closeFile();
  void about();
  void goToWebsite();

  // The View menu.
  void viewStreams();
  // Opens the tree to element `id`, selects it and highlights its bytes.
  void goToElementId(qint64 id);

  // The Go menu.
  void goToElement();
  void goToOffset();
  void find();
  void findNext();
  void findPrevious();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createGoMenu();
  void setGoMenuEnabled(bool enabled);
  void createViewMenu();
  void setViewMenuEnabled(bool enabled);
  void runSearch(bool backward);
  void buildFileFilters();
  void createMenus();
  void placeMenuLogo();
  void centreOnScreen(QWidget* window);
  QString checkFile(const QString& file_name, QString* shown_name) const;
  void runMediaInfo(const QString& file_name);
  void showError(const QString& message);

  BinViewWidget* bin_view_widget = nullptr;
  SqlTreeWidget* tree_widget = nullptr;
  QStringList media_info_output;
  QTextEdit* media_info_view = nullptr;
  QAction* view_media_info_action = nullptr;
  QAction* close_action = nullptr;
  QStringList filters;
  QStringList extensions;
  QMenu* go_menu = nullptr;
  QMenu* view_menu = nullptr;
  QAction* view_streams_action = nullptr;
  StreamsWindow* streams_window = nullptr;
  // The Streams window reads the timing tables once per open file.
  bool streams_loaded = false;
  QString search_text;
  bool search_whole = false;
  int search_step_milliseconds = 50;
  qint64 search_block_ids = 65536;
};
