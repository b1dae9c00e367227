#pragma once

#include <QMainWindow>
#include <QModelIndex>
#include <QStringList>

class BinViewWidget;
class SqlTreeWidget;
class QAction;
class QCloseEvent;
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

 private:
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
};
