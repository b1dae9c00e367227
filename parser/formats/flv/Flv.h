#pragma once

#include "FormatModule.h"

namespace corvanta {

// Flash Video: the FLV header, every tag with its PreviousTagSize, and the tag bodies
// (legacy and enhanced audio and video headers, codec configurations, AMF script data).
FormatModule flvModule();

}  // namespace corvanta
