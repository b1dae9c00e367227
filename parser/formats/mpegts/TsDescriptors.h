#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanta {
class FieldReader;
}

namespace corvanta::mpegts {

// What the meaning of a descriptor depends on, carried along a descriptor loop.
struct DescriptorContext {
  bool atsc = false;                    // ATSC tables, or PSIP in the file: user-private tags are ATSC's
  uint32_t private_data_specifier = 0;  // from a private_data_specifier_descriptor earlier in the loop
  uint8_t stream_type = 0;              // of the stream whose ES_info loop this is; 0 elsewhere
  std::string name;                     // what the last service or short event descriptor named
};

// What a descriptor decoder is given: a reader over exactly the descriptor's payload.
struct DescriptorScope {
  FieldReader& f;
  DescriptorContext& context;
  std::string summary;  // the descriptor unit's value when set
};

using DescriptorDecoder = void (*)(DescriptorScope&);

enum class DescriptorSystem : uint8_t { Any, Atsc };

// One line of the descriptor table: tag, the system in which the tag means this (ATSC's tags are
// user-private elsewhere), the name of the descriptor's unit, its field decoder (none: opaque).
struct DescriptorType {
  uint8_t tag;
  DescriptorSystem system;
  const char* name;
  DescriptorDecoder decode;
};

// The line for `tag` in this context, or null when the tag has none (reserved, user private).
const DescriptorType* lookupDescriptor(uint8_t tag, const DescriptorContext& context);

// Every descriptor that fills `f`, each a unit named for its tag.
void descriptorLoop(FieldReader& f, DescriptorContext& context);

// `reserved_bits` reserved bits, a `length_bits` length field named `length_name`, then the
// descriptor loop it measures; the reader moves past the loop.
void descriptorLoopWithLength(FieldReader& f, int reserved_bits, std::string_view length_name, int length_bits,
                              DescriptorContext& context);

// A three-letter ISO 639-2 or ISO 3166 code as one 24-bit field; returns the code.
std::string codeField(FieldReader& f, std::string_view name);

// Decoders of the descriptor table, by the standard that defines them.
namespace descriptor {
// ISO/IEC 13818-1 (TsDescriptorsMpeg.cpp)
void videoStream(DescriptorScope& d);
void audioStream(DescriptorScope& d);
void hierarchy(DescriptorScope& d);
void registration(DescriptorScope& d);
void dataStreamAlignment(DescriptorScope& d);
void targetBackgroundGrid(DescriptorScope& d);
void videoWindow(DescriptorScope& d);
void conditionalAccess(DescriptorScope& d);
void iso639Language(DescriptorScope& d);
void systemClock(DescriptorScope& d);
void multiplexBufferUtilization(DescriptorScope& d);
void copyright(DescriptorScope& d);
void maximumBitrate(DescriptorScope& d);
void privateDataIndicator(DescriptorScope& d);
void smoothingBuffer(DescriptorScope& d);
void stdDescriptor(DescriptorScope& d);
void ibp(DescriptorScope& d);
void mpeg4Video(DescriptorScope& d);
void mpeg4Audio(DescriptorScope& d);
void sl(DescriptorScope& d);
void fmc(DescriptorScope& d);
void avcVideo(DescriptorScope& d);
void avcTimingAndHrd(DescriptorScope& d);
void mpeg2AacAudio(DescriptorScope& d);
void hevcVideo(DescriptorScope& d);
void mpegExtension(DescriptorScope& d);
// ETSI EN 300 468 (TsDescriptorsDvb.cpp)
void name(DescriptorScope& d);
void serviceList(DescriptorScope& d);
void stuffing(DescriptorScope& d);
void satelliteDeliverySystem(DescriptorScope& d);
void cableDeliverySystem(DescriptorScope& d);
void terrestrialDeliverySystem(DescriptorScope& d);
void service(DescriptorScope& d);
void countryAvailability(DescriptorScope& d);
void linkage(DescriptorScope& d);
void shortEvent(DescriptorScope& d);
void extendedEvent(DescriptorScope& d);
void component(DescriptorScope& d);
void streamIdentifier(DescriptorScope& d);
void caIdentifier(DescriptorScope& d);
void content(DescriptorScope& d);
void parentalRating(DescriptorScope& d);
void teletext(DescriptorScope& d);
void localTimeOffset(DescriptorScope& d);
void subtitling(DescriptorScope& d);
void privateDataSpecifier(DescriptorScope& d);
void frequencyList(DescriptorScope& d);
void dataBroadcastId(DescriptorScope& d);
void ac3(DescriptorScope& d);
void enhancedAc3(DescriptorScope& d);
void dts(DescriptorScope& d);
void aac(DescriptorScope& d);
void dvbExtension(DescriptorScope& d);
// ATSC A/65 and A/52 (TsDescriptorsAtsc.cpp)
void atscAc3Audio(DescriptorScope& d);
void captionService(DescriptorScope& d);
void serviceLocation(DescriptorScope& d);
}  // namespace descriptor

}  // namespace corvanta::mpegts
