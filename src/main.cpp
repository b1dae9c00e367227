#include "MainWindow.h"
#include "Style.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
  // Source texts are UTF-8 and Qt 6 reads them as such: no codec to set.
  QApplication application(argc, argv);
  QApplication::setStyle(new Style());
  QApplication::setWindowIcon(QIcon(QStringLiteral(":resources/icon.svg")));

  MainWindow main_window;
  main_window.show();
  return QApplication::exec();
}
