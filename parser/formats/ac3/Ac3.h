#pragma once

#include "FormatModule.h"

namespace corvanta {

// AC-3 and E-AC-3 elementary streams: every sync frame's syncinfo and bit stream information,
// its audio blocks and CRCs; E-AC-3 independent and dependent substreams frame by frame.
FormatModule ac3Module();

}  // namespace corvanta
