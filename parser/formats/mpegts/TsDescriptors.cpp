#include "formats/mpegts/TsDescriptors.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

namespace corvanta::mpegts {

namespace {

namespace d = descriptor;
constexpr DescriptorSystem kAny = DescriptorSystem::Any;
constexpr DescriptorSystem kAtsc = DescriptorSystem::Atsc;

// Tags of ISO/IEC 13818-1 Table 2-45, ETSI EN 300 468 Table 12 and the ATSC A/65 and A/52
// descriptors. A tag without a decoder is shown named, its payload as one field.
const DescriptorType kDescriptors[] = {
    {0x02, kAny, "video_stream_descriptor", d::videoStream},
    {0x03, kAny, "audio_stream_descriptor", d::audioStream},
    {0x04, kAny, "hierarchy_descriptor", d::hierarchy},
    {0x05, kAny, "registration_descriptor", d::registration},
    {0x06, kAny, "data_stream_alignment_descriptor", d::dataStreamAlignment},
    {0x07, kAny, "target_background_grid_descriptor", d::targetBackgroundGrid},
    {0x08, kAny, "video_window_descriptor", d::videoWindow},
    {0x09, kAny, "CA_descriptor", d::conditionalAccess},
    {0x0A, kAny, "ISO_639_language_descriptor", d::iso639Language},
    {0x0B, kAny, "system_clock_descriptor", d::systemClock},
    {0x0C, kAny, "multiplex_buffer_utilization_descriptor", d::multiplexBufferUtilization},
    {0x0D, kAny, "copyright_descriptor", d::copyright},
    {0x0E, kAny, "maximum_bitrate_descriptor", d::maximumBitrate},
    {0x0F, kAny, "private_data_indicator_descriptor", d::privateDataIndicator},
    {0x10, kAny, "smoothing_buffer_descriptor", d::smoothingBuffer},
    {0x11, kAny, "STD_descriptor", d::stdDescriptor},
    {0x12, kAny, "IBP_descriptor", d::ibp},
    {0x13, kAny, "carousel_identifier_descriptor", nullptr},
    {0x14, kAny, "association_tag_descriptor", nullptr},
    {0x15, kAny, "deferred_association_tags_descriptor", nullptr},
    {0x17, kAny, "NPT_reference_descriptor", nullptr},
    {0x18, kAny, "NPT_endpoint_descriptor", nullptr},
    {0x19, kAny, "stream_mode_descriptor", nullptr},
    {0x1A, kAny, "stream_event_descriptor", nullptr},
    {0x1B, kAny, "MPEG-4_video_descriptor", d::mpeg4Video},
    {0x1C, kAny, "MPEG-4_audio_descriptor", d::mpeg4Audio},
    {0x1D, kAny, "IOD_descriptor", nullptr},
    {0x1E, kAny, "SL_descriptor", d::sl},
    {0x1F, kAny, "FMC_descriptor", d::fmc},
    {0x20, kAny, "external_ES_ID_descriptor", nullptr},
    {0x21, kAny, "MuxCode_descriptor", nullptr},
    {0x22, kAny, "FmxBufferSize_descriptor", nullptr},
    {0x23, kAny, "multiplexbuffer_descriptor", nullptr},
    {0x24, kAny, "content_labeling_descriptor", nullptr},
    {0x25, kAny, "metadata_pointer_descriptor", nullptr},
    {0x26, kAny, "metadata_descriptor", nullptr},
    {0x27, kAny, "metadata_STD_descriptor", nullptr},
    {0x28, kAny, "AVC_video_descriptor", d::avcVideo},
    {0x29, kAny, "IPMP_descriptor", nullptr},
    {0x2A, kAny, "AVC_timing_and_HRD_descriptor", d::avcTimingAndHrd},
    {0x2B, kAny, "MPEG-2_AAC_audio_descriptor", d::mpeg2AacAudio},
    {0x2C, kAny, "FlexMuxTiming_descriptor", nullptr},
    {0x2D, kAny, "MPEG-4_text_descriptor", nullptr},
    {0x2E, kAny, "MPEG-4_audio_extension_descriptor", nullptr},
    {0x2F, kAny, "auxiliary_video_stream_descriptor", nullptr},
    {0x30, kAny, "SVC_extension_descriptor", nullptr},
    {0x31, kAny, "MVC_extension_descriptor", nullptr},
    {0x32, kAny, "J2K_video_descriptor", nullptr},
    {0x33, kAny, "MVC_operation_point_descriptor", nullptr},
    {0x34, kAny, "MPEG2_stereoscopic_video_format_descriptor", nullptr},
    {0x35, kAny, "stereoscopic_program_info_descriptor", nullptr},
    {0x36, kAny, "stereoscopic_video_info_descriptor", nullptr},
    {0x37, kAny, "transport_profile_descriptor", nullptr},
    {0x38, kAny, "HEVC_video_descriptor", d::hevcVideo},
    {0x3F, kAny, "extension_descriptor", d::mpegExtension},
    {0x40, kAny, "network_name_descriptor", d::name},
    {0x41, kAny, "service_list_descriptor", d::serviceList},
    {0x42, kAny, "stuffing_descriptor", d::stuffing},
    {0x43, kAny, "satellite_delivery_system_descriptor", d::satelliteDeliverySystem},
    {0x44, kAny, "cable_delivery_system_descriptor", d::cableDeliverySystem},
    {0x45, kAny, "VBI_data_descriptor", nullptr},
    {0x46, kAny, "VBI_teletext_descriptor", d::teletext},
    {0x47, kAny, "bouquet_name_descriptor", d::name},
    {0x48, kAny, "service_descriptor", d::service},
    {0x49, kAny, "country_availability_descriptor", d::countryAvailability},
    {0x4A, kAny, "linkage_descriptor", d::linkage},
    {0x4B, kAny, "NVOD_reference_descriptor", nullptr},
    {0x4C, kAny, "time_shifted_service_descriptor", nullptr},
    {0x4D, kAny, "short_event_descriptor", d::shortEvent},
    {0x4E, kAny, "extended_event_descriptor", d::extendedEvent},
    {0x4F, kAny, "time_shifted_event_descriptor", nullptr},
    {0x50, kAny, "component_descriptor", d::component},
    {0x51, kAny, "mosaic_descriptor", nullptr},
    {0x52, kAny, "stream_identifier_descriptor", d::streamIdentifier},
    {0x53, kAny, "CA_identifier_descriptor", d::caIdentifier},
    {0x54, kAny, "content_descriptor", d::content},
    {0x55, kAny, "parental_rating_descriptor", d::parentalRating},
    {0x56, kAny, "teletext_descriptor", d::teletext},
    {0x57, kAny, "telephone_descriptor", nullptr},
    {0x58, kAny, "local_time_offset_descriptor", d::localTimeOffset},
    {0x59, kAny, "subtitling_descriptor", d::subtitling},
    {0x5A, kAny, "terrestrial_delivery_system_descriptor", d::terrestrialDeliverySystem},
    {0x5B, kAny, "multilingual_network_name_descriptor", nullptr},
    {0x5C, kAny, "multilingual_bouquet_name_descriptor", nullptr},
    {0x5D, kAny, "multilingual_service_name_descriptor", nullptr},
    {0x5E, kAny, "multilingual_component_descriptor", nullptr},
    {0x5F, kAny, "private_data_specifier_descriptor", d::privateDataSpecifier},
    {0x60, kAny, "service_move_descriptor", nullptr},
    {0x61, kAny, "short_smoothing_buffer_descriptor", nullptr},
    {0x62, kAny, "frequency_list_descriptor", d::frequencyList},
    {0x63, kAny, "partial_transport_stream_descriptor", nullptr},
    {0x64, kAny, "data_broadcast_descriptor", nullptr},
    {0x65, kAny, "scrambling_descriptor", nullptr},
    {0x66, kAny, "data_broadcast_id_descriptor", d::dataBroadcastId},
    {0x67, kAny, "transport_stream_descriptor", nullptr},
    {0x68, kAny, "DSNG_descriptor", nullptr},
    {0x69, kAny, "PDC_descriptor", nullptr},
    {0x6A, kAny, "AC-3_descriptor", d::ac3},
    {0x6B, kAny, "ancillary_data_descriptor", nullptr},
    {0x6C, kAny, "cell_list_descriptor", nullptr},
    {0x6D, kAny, "cell_frequency_link_descriptor", nullptr},
    {0x6E, kAny, "announcement_support_descriptor", nullptr},
    {0x6F, kAny, "application_signalling_descriptor", nullptr},
    {0x70, kAny, "adaptation_field_data_descriptor", nullptr},
    {0x71, kAny, "service_identifier_descriptor", nullptr},
    {0x72, kAny, "service_availability_descriptor", nullptr},
    {0x73, kAny, "default_authority_descriptor", nullptr},
    {0x74, kAny, "related_content_descriptor", nullptr},
    {0x75, kAny, "TVA_id_descriptor", nullptr},
    {0x76, kAny, "content_identifier_descriptor", nullptr},
    {0x77, kAny, "time_slice_fec_identifier_descriptor", nullptr},
    {0x78, kAny, "ECM_repetition_rate_descriptor", nullptr},
    {0x79, kAny, "S2_satellite_delivery_system_descriptor", nullptr},
    {0x7A, kAny, "enhanced_AC-3_descriptor", d::enhancedAc3},
    {0x7B, kAny, "DTS_descriptor", d::dts},
    {0x7C, kAny, "AAC_descriptor", d::aac},
    {0x7D, kAny, "XAIT_location_descriptor", nullptr},
    {0x7E, kAny, "FTA_content_management_descriptor", nullptr},
    {0x7F, kAny, "extension_descriptor", d::dvbExtension},
    {0x80, kAtsc, "stuffing_descriptor", d::stuffing},
    {0x81, kAtsc, "AC-3_audio_stream_descriptor", d::atscAc3Audio},
    {0x86, kAtsc, "caption_service_descriptor", d::captionService},
    {0x87, kAtsc, "content_advisory_descriptor", nullptr},
    {0xA0, kAtsc, "extended_channel_name_descriptor", nullptr},
    {0xA1, kAtsc, "service_location_descriptor", d::serviceLocation},
    {0xA2, kAtsc, "time_shifted_service_descriptor", nullptr},
    {0xA3, kAtsc, "component_name_descriptor", nullptr},
    {0xAD, kAtsc, "ATSC_private_information_descriptor", nullptr},
};

std::string tagName(uint8_t tag, const DescriptorType* line) {
  if (line) return line->name;
  if (tag < 0x40) return "reserved";
  return tag >= 0x80 && tag != 0xFF ? "user private" : "reserved";
}

void descriptorUnit(FieldReader& f, DescriptorContext& context) {
  const uint8_t tag = uint8_t(f.peek(8));
  const DescriptorType* line = lookupDescriptor(tag, context);
  FieldUnit unit(f, line ? line->name : "descriptor");
  const std::string name = tagName(tag, line);
  f.text("descriptor_tag", 8, hexText(tag, 2), name);
  const uint64_t declared = f.peek(8);
  const int64_t room = f.bytesLeft() - 1;
  f.u("descriptor_length", 8, int64_t(declared) > room ? "runs past the loop" : "");
  FieldReader payload = f.sub(int64_t(declared));
  DescriptorScope scope{payload, context, {}};
  bool decoded = true;
  if (line && line->decode) {
    line->decode(scope);
    decoded = payload.ok();
    if (!decoded) {
      payload.recover();
      payload.rest("descriptor_data", "the fields run past descriptor_length");
    } else {
      payload.rest("additional_data");
    }
  } else {
    payload.rest("descriptor_data", line ? "" : name);
  }
  f.skipPast(payload);
  if (!decoded)
    unit.setSummary({}, "its fields run past descriptor_length");
  else if (!scope.summary.empty())
    unit.setSummary(scope.summary);
}

}  // namespace

const DescriptorType* lookupDescriptor(uint8_t tag, const DescriptorContext& context) {
  for (const DescriptorType& line : kDescriptors)
    if (line.tag == tag && (line.system == DescriptorSystem::Any || context.atsc)) return &line;
  return nullptr;
}

void descriptorLoop(FieldReader& f, DescriptorContext& context) {
  while (f.ok() && f.bitsLeft() >= 16) descriptorUnit(f, context);
  if (f.ok()) f.rest("descriptor_data", "too short for a descriptor");
}

void descriptorLoopWithLength(FieldReader& f, int reserved_bits, std::string_view length_name, int length_bits,
                              DescriptorContext& context) {
  if (reserved_bits > 0) f.u("reserved", reserved_bits);
  if (!f.need(length_bits)) return;
  const uint64_t declared = f.peek(length_bits);
  const int64_t room = (f.bitsLeft() - length_bits) / 8;
  f.u(length_name, length_bits, int64_t(declared) > room ? "runs past its table" : "");
  FieldReader loop = f.sub(int64_t(declared));
  descriptorLoop(loop, context);
  f.skipPast(loop);
}

std::string codeField(FieldReader& f, std::string_view name) {
  return f.fixedString(name, 3, TextEncoding::Latin1);
}

}  // namespace corvanta::mpegts
