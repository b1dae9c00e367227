// The entry function of one fuzz target. Compiled once per format module with
// CORVANTA_FUZZ_MODULE set to the module's id, which bypasses the probe so that every input
// reaches that module's parser, and once without it ("any"), where the registry chooses the
// module as it does for a file the viewer opens. Linked with libFuzzer for fuzzing, with
// ReplayMain.cpp for the regression test.
#include "FormatModule.h"
#include "FuzzAnalysis.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

#ifdef CORVANTA_FUZZ_MODULE
// The modules of the target's folder: the one whose id is the folder's name, or a family of
// modules with ids "<folder>.<form>" that share one parser (RIFF: AVI, WAVE, WebP, AIFF).
const std::vector<corvanta::FormatModule>& targetModules() {
  static const std::vector<corvanta::FormatModule> modules = [] {
    const QString id = QStringLiteral(CORVANTA_FUZZ_MODULE);
    std::vector<corvanta::FormatModule> found;
    for (const corvanta::FormatModule& module : corvanta::formatModules())
      if (module.id == id || module.id.startsWith(id + QLatin1Char('.'))) found.push_back(module);
    if (found.empty()) {
      std::fprintf(stderr, "no format module \"%s\" is registered\n", CORVANTA_FUZZ_MODULE);
      std::abort();
    }
    return found;
  }();
  return modules;
}
#endif

// The module that gets the input: the target's own, bypassing the probe; in a family, the one
// its probe prefers (the first when none accepts). Null for "any", where the registry chooses.
const corvanta::FormatModule* targetModule(const uint8_t* data, size_t size) {
#ifdef CORVANTA_FUZZ_MODULE
  const std::vector<corvanta::FormatModule>& modules = targetModules();
  if (modules.size() == 1) return &modules.front();
  const int64_t head = static_cast<int64_t>(size < 4096 ? size : 4096);
  const corvanta::FormatModule* chosen =
      corvanta::chooseModuleFrom(modules, data, head, static_cast<int64_t>(size), QString());
  return chosen ? chosen : &modules.front();
#else
  (void)data;
  (void)size;
  return nullptr;
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvanta::fuzz::analyseAndCheck(data, size, targetModule(data, size));
  return 0;
}
