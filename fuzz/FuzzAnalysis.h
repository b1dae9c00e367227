#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

class QString;

namespace corvanta {
class ElementWriter;
struct FormatModule;
}

namespace corvanta::fuzz {

// Analyses one input as Parser analyses a file, with `module` or, when it is null, with the
// registry's choice, through the real ElementWriter into an in-memory element database, and
// checks that database; then analyses it again on the lazy path (units decoded on demand),
// decodes every unit forward and backwards, and checks that it reads as the eager database. Anything wrong (a broken invariant, bits of the input that no
// top-level element covers, a failed write) is printed with the module's id and aborts the
// process, which libFuzzer and the replay tool both report as a finding.
void analyseAndCheck(const uint8_t* data, size_t size, const FormatModule* module);

// The same checks for the elements that `write` writes about an input of `size` bytes through a
// writer bounded to it (a codec decoder's elements, without a format module around them);
// `what` names the target in a finding.
void writeAndCheck(size_t size, const QString& what, const std::function<void(ElementWriter&)>& write);

}  // namespace corvanta::fuzz
