// Every test file under tests/data/<family>/ has its corvanta-dump text beside it as
// FILE.golden. Any change of output shows up here as the first differing line, with the
// element path that leads to it; scripts/update-golden.sh rewrites the goldens after an
// intended change, so that a reviewer reads the change as a text diff.
#include "TestInputs.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QProcess>

namespace {

QStringList testInputs() {
  QStringList files;
  QDirIterator it(corvanta::test::dataDir(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (corvanta::test::isTestInput(path)) files << path;
  }
  files.sort();
  return files;
}

// What corvanta-dump prints for the file; a failed analysis is one line with its status
// and message, so that a file meant to be refused is pinned down too.
QByteArray dumpText(const QString& path) {
  QProcess process;
  process.start(QStringLiteral(CORVANTA_DUMP_TOOL), {QStringLiteral("--no-progress"), path});
  if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit)
    return "corvanta-dump did not finish\n";
  if (process.exitCode() != 0)
    return "corvanta-dump exit status " + QByteArray::number(process.exitCode()) + ": " +
           process.readAllStandardError().trimmed() + '\n';
  return process.readAllStandardOutput();
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "moov/trak/mdia" for the line at `index`, from the indentation of the lines before it.
QString elementPath(const QList<QByteArray>& lines, int index) {
  QStringList path;
  int indent = INT_MAX;
  for (int i = index; i >= 0 && indent > 0; --i) {
    const QByteArray& line = lines[i];
    int spaces = 0;
    while (spaces < line.size() && line[spaces] == ' ') ++spaces;
    if (spaces >= indent) continue;
    indent = spaces;
    path.prepend(QString::fromUtf8(line.mid(spaces, line.indexOf(' ', spaces) - spaces)));
  }
  return path.join(QLatin1Char('/'));
}

}  // namespace

class GoldenDumpTest : public QObject {
  Q_OBJECT

 private slots:
  void dumpMatchesGolden_data() {
    QTest::addColumn<QString>("file");
    const QStringList files = testInputs();
    QVERIFY(!files.isEmpty());
    const QDir data(corvanta::test::dataDir());
    for (const QString& file : files) QTest::newRow(qPrintable(data.relativeFilePath(file))) << file;
  }

  void dumpMatchesGolden() {
    QFETCH(QString, file);
    const QString golden_path = file + QStringLiteral(".golden");
    const QByteArray actual = dumpText(file);
    if (qEnvironmentVariableIsSet("CORVANTA_UPDATE_GOLDEN")) {
      QFile out(golden_path);
      QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
      QCOMPARE(out.write(actual), actual.size());
      return;
    }
    QVERIFY2(QFileInfo::exists(golden_path),
             qPrintable(QStringLiteral("no golden dump; run scripts/update-golden.sh and review it")));
    const QList<QByteArray> got = actual.split('\n');
    const QList<QByteArray> expected = readAll(golden_path).split('\n');
    for (int i = 0; i < std::min(got.size(), expected.size()); ++i)
      QVERIFY2(got[i] == expected[i],
               qPrintable(QStringLiteral("line %1, at %2:\n  now    %3\n  golden %4")
                              .arg(i + 1)
                              .arg(elementPath(expected, i), QString::fromUtf8(got[i]), QString::fromUtf8(expected[i]))));
    QVERIFY2(got.size() == expected.size(),
             qPrintable(QStringLiteral("%1 lines now, %2 in the golden dump").arg(got.size()).arg(expected.size())));
  }
};

CORVANTA_TEST_CORE_MAIN(GoldenDumpTest)
#include "GoldenDumpTest.moc"
