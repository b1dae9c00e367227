#pragma once

#include <cstdint>
#include <string>

// Value names of DVB service information (ETSI EN 300 468) that several tables and descriptors share.
namespace corvanta::mpegts {

std::string serviceTypeName(uint64_t service_type);        // "digital television service"
std::string runningStatusName(uint64_t running_status);    // "running"
std::string streamContentName(uint64_t stream_content);    // "MPEG-2 video"
// component_type within its stream_content (3 for subtitling_type, 6 for AAC_type).
std::string componentTypeName(uint64_t stream_content, uint64_t component_type);
std::string contentGenreName(uint64_t content_nibble_level_1);  // "News/Current affairs"
std::string teletextTypeName(uint64_t teletext_type);           // "subtitle page"

}  // namespace corvanta::mpegts
