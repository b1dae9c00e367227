#pragma once

#include "FormatModule.h"

namespace corvanta {

// MPEG transport streams: 188-byte packets, M2TS/BDAV 192-byte packets, 204-byte packets with
// Reed-Solomon parity.
FormatModule mpegTsModule();

}  // namespace corvanta
