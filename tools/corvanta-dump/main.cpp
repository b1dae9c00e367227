#include "DumpCommand.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  return DumpCommand().run(app.arguments());
}
