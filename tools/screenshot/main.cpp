// Starts the real main window, opens a file in it, walks a few rows into the tree and
// saves a picture of the window; with --streams, a picture of the file's Streams window
// instead. Meant to run under a virtual X server.
#include "MainWindow.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "StreamsWindow.h"
#include "Style.h"

#include <QApplication>
#include <QAction>
#include <QIcon>
#include <QPixmap>
#include <QTest>
#include <QTextStream>
#include <QTimer>

namespace {

void walkIntoTheTree(SqlTree* tree, const QStringList& keys) {
  tree->setFocus();
  for (const QString& key : keys) {
    if (key == QLatin1String("down"))
      QTest::keyClick(tree, Qt::Key_Down);
    else if (key == QLatin1String("right"))
      QTest::keyClick(tree, Qt::Key_Right);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setStyle(new Style());
  QApplication::setWindowIcon(QIcon(QStringLiteral(":resources/icon.svg")));
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() < 3) {
    QTextStream(stderr) << "usage: corvanta-screenshot CONTAINER OUT.png [--streams] [down|right ...]\n";
    return 2;
  }
  const bool streams = arguments.mid(3).contains(QStringLiteral("--streams"));

  MainWindow window;
  window.resize(1500, 900);
  window.move(0, 0);
  window.show();

  int status = 1;
  QTimer::singleShot(200, [&] {
    window.openChosenFile(arguments.at(1));
    walkIntoTheTree(window.treeWidget()->tree(), arguments.mid(3));
    QTest::qWait(300);
    if (streams) {
      window.viewStreamsAction()->trigger();
      StreamsWindow* shown = window.streamsWindow();
      shown->resize(1400, 860);
      shown->move(0, 0);
      QTest::qWait(500);
      status = shown->grab().save(arguments.at(2)) ? 0 : 1;
    } else {
      status = window.grab().save(arguments.at(2)) ? 0 : 1;
    }
    window.close();
  });
  QApplication::exec();
  return status;
}
