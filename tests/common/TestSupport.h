#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QApplication>
#include <QtTest>

namespace corvanta::test {

// Points the settings store at a fresh temporary folder. Must run before the
// first call of settings(); CORVANTA_TEST_MAIN does it before the application exists.
void isolateSettings();

// Folder of the committed test files (tests/data), or an empty string when unknown.
QString dataDir();

// Absolute path of a committed test file below tests/data; fails the test when missing.
QString dataFile(const QString& relative_path);

// Threads of this process right now.
int threadCount();

}  // namespace corvanta::test

// Like QTEST_MAIN, with the settings store isolated and a headless platform by default.
#define CORVANTA_TEST_MAIN(TestClass)                                \
  int main(int argc, char** argv) {                                  \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))              \
      qputenv("QT_QPA_PLATFORM", "offscreen");                       \
    corvanta::test::isolateSettings();                               \
    QApplication app(argc, argv);                                    \
    app.setAttribute(Qt::AA_Use96Dpi, true);                         \
    TestClass tc;                                                    \
    QTEST_SET_MAIN_SOURCE_PATH                                       \
    return QTest::qExec(&tc, argc, argv);                            \
  }

// The same for tests that need no widgets.
#define CORVANTA_TEST_CORE_MAIN(TestClass)                           \
  int main(int argc, char** argv) {                                  \
    corvanta::test::isolateSettings();                               \
    QCoreApplication app(argc, argv);                                \
    TestClass tc;                                                    \
    QTEST_SET_MAIN_SOURCE_PATH                                       \
    return QTest::qExec(&tc, argc, argv);                            \
  }
