// The entry function of one fuzz target. Compiled once per format module with
// CORVANTA_FUZZ_MODULE set to the module's id, which bypasses the probe so that every input
// reaches that module's parser, and once without it ("any"), where the registry chooses the
// module as it does for a file the viewer opens. Linked with libFuzzer for fuzzing, with
// ReplayMain.cpp for the regression test.
#include "FormatModule.h"
#include "FuzzAnalysis.h"

#include <cstdio>
#include <cstdlib>

namespace {

const corvanta::FormatModule* targetModule() {
#ifdef CORVANTA_FUZZ_MODULE
  static const corvanta::FormatModule* const module = [] {
    const corvanta::FormatModule* found = corvanta::findModule(QStringLiteral(CORVANTA_FUZZ_MODULE));
    if (!found) {
      std::fprintf(stderr, "no format module \"%s\" is registered\n", CORVANTA_FUZZ_MODULE);
      std::abort();
    }
    return found;
  }();
  return module;
#else
  return nullptr;
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvanta::fuzz::analyseAndCheck(data, size, targetModule());
  return 0;
}
