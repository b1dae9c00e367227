// Replays files through a fuzz target's entry function without libFuzzer, for the test suite:
// each file in a child process of its own, so that a crash, an abort or a hang names the file
// and the run goes on with the next one. Folders are walked for test inputs.
//   fuzz_replay_<target> PATH...
#include "FormatModule.h"
#include "TestInputs.h"

#include <QDirIterator>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Wider bounds than a fuzz run's (scripts/fuzz.sh), since every test file is replayed too,
// in unoptimised sanitizer builds as well: still, a hang or a blow-up fails.
constexpr unsigned kSecondsPerInput = 60;
constexpr rlim_t kAddressSpaceBytes = rlim_t(2048) << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

QStringList inputsUnder(const QStringList& paths) {
  QStringList files;
  for (const QString& path : paths) {
    if (QFileInfo(path).isFile()) {
      files << path;
      continue;
    }
    // A module without regressions yet has no folder for them.
    QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
    QStringList found;
    while (it.hasNext()) {
      const QString file = it.next();
      if (corvanta::test::isTestInput(file))
        found << file;
    }
    found.sort();
    files += found;
  }
  return files;
}

[[noreturn]] void replayInChild(const QString& path) {
  alarm(kSecondsPerInput);
  // AddressSanitizer reserves terabytes of address space and bounds allocations itself
  // (max_allocation_size_mb in ASAN_OPTIONS).
  if (!kAddressSanitizer) {
    const rlimit limit{kAddressSpaceBytes, kAddressSpaceBytes};
    setrlimit(RLIMIT_AS, &limit);
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "%s: cannot read: %s\n", qPrintable(path), qPrintable(file.errorString()));
    std::_Exit(2);
  }
  const QByteArray bytes = file.readAll();
  // A copy of exactly the file's size, so that AddressSanitizer catches a read one byte past
  // its end, as it does under libFuzzer.
  const size_t size = size_t(bytes.size());
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  std::memcpy(copy.get(), bytes.constData(), size);
  LLVMFuzzerTestOneInput(copy.get(), size);
  copy.reset();
  // exit, not _Exit: LeakSanitizer checks for leaks at exit.
  std::exit(0);
}

QString describe(int status) {
  if (WIFEXITED(status))
    return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
    return QStringLiteral("hung: no result after %1 s").arg(kSecondsPerInput);
  if (WIFSIGNALED(status))
    return QStringLiteral("killed by signal %1 (%2)").arg(WTERMSIG(status)).arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
  return QStringLiteral("status %1").arg(status);
}

// Returns a failure description, or an empty string when the input passed.
QString replay(const QString& path) {
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child < 0)
    return QStringLiteral("cannot start a process: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
  if (child == 0)
    replayInChild(path);
  int status = 0;
  if (waitpid(child, &status, 0) != child)
    return QStringLiteral("lost its process");
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QString() : describe(status);
}

// The replay of the "any" target also checks that every registered module has a target of
// its own: the build makes one per folder parser/formats/<id>/.
bool everyModuleHasATarget() {
#ifdef CORVANTA_FUZZ_TARGET_MODULES
  const QStringList targets = QStringLiteral(CORVANTA_FUZZ_TARGET_MODULES).split(QLatin1Char(','), Qt::SkipEmptyParts);
  bool ok = true;
  for (const corvanta::FormatModule& module : corvanta::formatModules()) {
    // A family of modules in one folder has ids "<folder>.<form>".
    if (!targets.contains(module.id) && !targets.contains(module.id.section(QLatin1Char('.'), 0, 0))) {
      std::fprintf(stderr, "FAILED: the module \"%s\" has no fuzz target: its id is not the name of a folder "
                           "parser/formats/<id>/\n", qPrintable(module.id));
      ok = false;
    }
  }
  return ok;
#else
  return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  QStringList paths;
  for (int i = 1; i < argc; ++i)
    paths << QString::fromLocal8Bit(argv[i]);
  const QStringList inputs = inputsUnder(paths);
  if (inputs.isEmpty()) {
    std::fprintf(stderr, "no inputs under %s\n", qPrintable(paths.join(QStringLiteral(", "))));
    return 1;
  }
  int failed = 0;
  for (const QString& input : inputs) {
    const QString failure = replay(input);
    if (!failure.isEmpty()) {
      std::fprintf(stderr, "FAILED: %s: %s\n", qPrintable(input), qPrintable(failure));
      ++failed;
    }
  }
  std::printf("replayed %lld inputs, %d failed\n", static_cast<long long>(inputs.size()), failed);
  return failed == 0 && everyModuleHasATarget() ? 0 : 1;
}
