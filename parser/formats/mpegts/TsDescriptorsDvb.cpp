// Decoders of the descriptors of DVB service information (ETSI EN 300 468, 6.2).
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/mpegts/DvbText.h"
#include "formats/mpegts/TsDescriptors.h"
#include "formats/mpegts/TsDvbNames.h"

namespace corvanta::mpegts::descriptor {

namespace {

const ValueName kPolarizations[] = {{0, "linear horizontal"}, {1, "linear vertical"}, {2, "circular left"},
                                    {3, "circular right"}};
const ValueName kRollOffs[] = {{0, "0.35"}, {1, "0.25"}, {2, "0.20"}, {3, "reserved"}};
const ValueName kSatelliteModulations[] = {{0, "auto"}, {1, "QPSK"}, {2, "8PSK"}, {3, "16-QAM"}};
const ValueName kCableModulations[] = {{0, "not defined"}, {1, "16-QAM"}, {2, "32-QAM"}, {3, "64-QAM"},
                                       {4, "128-QAM"},     {5, "256-QAM"}};
const ValueName kInnerFec[] = {{0, "not defined"}, {1, "1/2"}, {2, "2/3"}, {3, "3/4"}, {4, "5/6"}, {5, "7/8"},
                               {6, "8/9"},         {7, "3/5"}, {8, "4/5"}, {9, "9/10"}, {15, "no convolutional coding"}};
const ValueName kOuterFec[] = {{0, "not defined"}, {1, "no outer FEC coding"}, {2, "RS(204/188)"}};
const ValueName kBandwidths[] = {{0, "8 MHz"}, {1, "7 MHz"}, {2, "6 MHz"}, {3, "5 MHz"}};
const ValueName kConstellations[] = {{0, "QPSK"}, {1, "16-QAM"}, {2, "64-QAM"}, {3, "reserved"}};
const ValueName kCodeRates[] = {{0, "1/2"}, {1, "2/3"}, {2, "3/4"}, {3, "5/6"}, {4, "7/8"}};
const ValueName kGuardIntervals[] = {{0, "1/32"}, {1, "1/16"}, {2, "1/8"}, {3, "1/4"}};
const ValueName kTransmissionModes[] = {{0, "2k"}, {1, "8k"}, {2, "4k"}, {3, "reserved"}};
const ValueName kCodingTypes[] = {{0, "not defined"}, {1, "satellite"}, {2, "cable"}, {3, "terrestrial"}};
const ValueName kLinkageTypes[] = {
    {0x01, "information service"}, {0x02, "EPG service"}, {0x03, "CA replacement service"},
    {0x04, "TS containing complete network/bouquet SI"}, {0x05, "service replacement service"},
    {0x06, "data broadcast service"}, {0x07, "RCS map"}, {0x08, "mobile hand-over"},
    {0x09, "system software update service"}, {0x0A, "TS containing SSU BAT or NIT"},
    {0x0B, "IP/MAC notification service"}, {0x0C, "TS containing INT BAT or NIT"},
    {0x0D, "event linkage"}, {0x0E, "extended event linkage"}};
const ValueName kDvbExtensionTags[] = {
    {0x00, "image_icon_descriptor"}, {0x02, "CP_descriptor"}, {0x04, "T2_delivery_system_descriptor"},
    {0x05, "SH_delivery_system_descriptor"}, {0x06, "supplementary_audio_descriptor"},
    {0x07, "network_change_notify_descriptor"}, {0x08, "message_descriptor"},
    {0x09, "target_region_descriptor"}, {0x0A, "target_region_name_descriptor"},
    {0x0B, "service_relocated_descriptor"}, {0x0D, "C2_delivery_system_descriptor"},
    {0x0F, "video_depth_range_descriptor"}, {0x10, "T2MI_descriptor"}, {0x13, "URI_linkage_descriptor"},
    {0x14, "CI_ancillary_data_descriptor"}, {0x15, "AC-4_descriptor"}, {0x16, "C2_bundle_delivery_system_descriptor"},
    {0x17, "S2X_satellite_delivery_system_descriptor"}, {0x18, "protection_message_descriptor"},
    {0x19, "audio_preselection_descriptor"}, {0x20, "TTML_subtitling_descriptor"},
    {0x21, "DTS-HD_audio_stream_descriptor"}, {0x22, "DTS-UHD_descriptor"},
    {0x23, "service_prominence_descriptor"}};
const ValueName kDtsSampleRates[] = {{1, "8000 Hz"}, {2, "16000 Hz"}, {3, "32000 Hz"}, {6, "11025 Hz"},
                                     {7, "22050 Hz"}, {8, "44100 Hz"}, {11, "12000 Hz"}, {12, "24000 Hz"},
                                     {13, "48000 Hz"}};

// A frequency or rate of `digits` BCD digits with `decimals` of them after the point, in `unit`.
std::string bcdValueText(uint64_t value, int decimals, const char* unit) {
  uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  std::string out = numberText(value / scale);
  if (decimals > 0) {
    std::string fraction = numberText(value % scale);
    out += "." + std::string(size_t(decimals) - fraction.size(), '0') + fraction;
  }
  return out + " " + unit;
}

// `digits` BCD digits as a number with `decimals` after the point.
uint64_t bcdField(FieldReader& f, std::string_view name, int digits, int decimals, const char* unit) {
  if (!f.need(digits * 4)) return 0;
  uint64_t value = 0;
  const uint64_t raw = f.peek(digits * 4);
  for (int i = digits - 1; i >= 0; --i) value = value * 10 + ((raw >> (4 * i)) & 15);
  return f.bcd(name, digits, bcdValueText(value, decimals, unit));
}

// A BCD hhmm time offset or duration.
std::string hhmmText(uint64_t raw) {
  const uint64_t hours = ((raw >> 12) & 15) * 10 + ((raw >> 8) & 15);
  const uint64_t minutes = ((raw >> 4) & 15) * 10 + (raw & 15);
  std::string out = numberText(hours) + ":";
  if (minutes < 10) out += "0";
  return out + numberText(minutes);
}

}  // namespace

void name(DescriptorScope& d) { d.summary = dvbString(d.f, "char", d.f.bytesLeft()); }

void serviceList(DescriptorScope& d) {
  FieldReader& f = d.f;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 3; ++i) {
    FieldUnit entry(f, "service", i);
    const uint64_t id = f.u("service_id", 16);
    const uint64_t type = f.uh("service_type", 8, serviceTypeName);
    entry.setSummary("service " + numberText(id), serviceTypeName(type));
  }
}

void stuffing(DescriptorScope& d) {
  if (d.f.bytesLeft() > 0) d.f.bytes("stuffing_byte", d.f.bytesLeft());
}

void satelliteDeliverySystem(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t frequency = bcdField(f, "frequency", 8, 5, "GHz");
  bcdField(f, "orbital_position", 4, 1, "degrees");
  const bool east = f.uh("west_east_flag", 1, [](uint64_t v) { return std::string(v ? "east" : "west"); });
  f.uh("polarization", 2, [](uint64_t v) { return nameText(kPolarizations, v); });
  const bool s2 = f.has(3) && (f.peek(3) & 1);
  if (s2)
    f.uh("roll_off", 2, [](uint64_t v) { return nameText(kRollOffs, v); });
  else
    f.u("'00'", 2);
  f.uh("modulation_system", 1, [](uint64_t v) { return std::string(v ? "DVB-S2" : "DVB-S"); });
  f.uh("modulation_type", 2, [](uint64_t v) { return nameText(kSatelliteModulations, v); });
  bcdField(f, "symbol_rate", 7, 4, "Msymbol/s");
  f.uh("FEC_inner", 4, [](uint64_t v) { return nameText(kInnerFec, v); });
  d.summary = bcdValueText(frequency, 5, "GHz") + (east ? ", east" : ", west");
}

void cableDeliverySystem(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t frequency = bcdField(f, "frequency", 8, 4, "MHz");
  f.u("reserved_future_use", 12);
  f.uh("FEC_outer", 4, [](uint64_t v) { return nameText(kOuterFec, v); });
  const uint64_t modulation = f.uh("modulation", 8, [](uint64_t v) { return nameText(kCableModulations, v); });
  bcdField(f, "symbol_rate", 7, 4, "Msymbol/s");
  f.uh("FEC_inner", 4, [](uint64_t v) { return nameText(kInnerFec, v); });
  d.summary = bcdValueText(frequency, 4, "MHz") + ", " + nameText(kCableModulations, modulation);
}

void terrestrialDeliverySystem(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t frequency = f.uh("centre_frequency", 32, [](uint64_t v) { return numberText(v * 10) + " Hz"; });
  f.uh("bandwidth", 3, [](uint64_t v) { return nameText(kBandwidths, v); });
  f.u("priority", 1);
  f.u("Time_Slicing_indicator", 1);
  f.u("MPE-FEC_indicator", 1);
  f.u("reserved_future_use", 2);
  f.uh("constellation", 2, [](uint64_t v) { return nameText(kConstellations, v); });
  f.u("hierarchy_information", 3);
  f.uh("code_rate-HP_stream", 3, [](uint64_t v) { return nameText(kCodeRates, v); });
  f.uh("code_rate-LP_stream", 3, [](uint64_t v) { return nameText(kCodeRates, v); });
  f.uh("guard_interval", 2, [](uint64_t v) { return nameText(kGuardIntervals, v); });
  f.uh("transmission_mode", 2, [](uint64_t v) { return nameText(kTransmissionModes, v); });
  f.u("other_frequency_flag", 1);
  f.u("reserved_future_use", 32);
  d.summary = numberText(frequency * 10) + " Hz";
}

void service(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t type = f.uh("service_type", 8, serviceTypeName);
  const std::string provider = dvbLengthString(f, "service_provider_name_length", "service_provider_name");
  const std::string name = dvbLengthString(f, "service_name_length", "service_name");
  d.context.name = name;
  d.summary = "\"" + name + "\"";
  if (!provider.empty()) d.summary += " from \"" + provider + "\"";
  const std::string type_name = serviceTypeName(type);
  if (!type_name.empty()) d.summary += ", " + type_name;
}

void countryAvailability(DescriptorScope& d) {
  FieldReader& f = d.f;
  const bool available = f.uh("country_availability_flag", 1, [](uint64_t v) {
    return std::string(v ? "available in these countries" : "not available in these countries");
  });
  f.u("reserved_future_use", 7);
  std::string codes;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 3; ++i)
    codes += (codes.empty() ? "" : ", ") + codeField(f, "country_code");
  d.summary = (available ? "available: " : "not available: ") + codes;
}

void linkage(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("transport_stream_id", 16);
  f.u("original_network_id", 16);
  const uint64_t id = f.u("service_id", 16);
  const uint64_t type = f.uh("linkage_type", 8, [](uint64_t v) { return nameText(kLinkageTypes, v); });
  if (f.bytesLeft() > 0) f.bytes("private_data_byte", f.bytesLeft());
  d.summary = "service " + numberText(id) + ", " + nameText(kLinkageTypes, type);
}

void shortEvent(DescriptorScope& d) {
  FieldReader& f = d.f;
  const std::string language = codeField(f, "ISO_639_language_code");
  const std::string event = dvbLengthString(f, "event_name_length", "event_name");
  dvbLengthString(f, "text_length", "text");
  d.context.name = event;
  d.summary = "\"" + event + "\" (" + language + ")";
}

void extendedEvent(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t number = f.u("descriptor_number", 4);
  const uint64_t last = f.u("last_descriptor_number", 4);
  codeField(f, "ISO_639_language_code");
  const uint64_t items_length = f.u("length_of_items", 8);
  FieldReader items = f.sub(int64_t(items_length));
  for (int64_t i = 0; items.ok() && items.bytesLeft() >= 2; ++i) {
    FieldUnit item(items, "item", i);
    const std::string description = dvbLengthString(items, "item_description_length", "item_description");
    const std::string text = dvbLengthString(items, "item_length", "item");
    item.setSummary(description + ": " + text);
  }
  items.rest("item_data");
  f.skipPast(items);
  const std::string text = dvbLengthString(f, "text_length", "text");
  d.summary = "part " + numberText(number + 1) + " of " + numberText(last + 1) + (text.empty() ? "" : ": \"" + text + "\"");
}

void component(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("stream_content_ext", 4);
  const uint64_t content = f.uh("stream_content", 4, streamContentName);
  const uint64_t type = f.uh("component_type", 8, [content](uint64_t v) { return componentTypeName(content, v); });
  const uint64_t tag = f.u("component_tag", 8);
  const std::string language = codeField(f, "ISO_639_language_code");
  const std::string text = f.bytesLeft() > 0 ? dvbString(f, "text_char", f.bytesLeft()) : std::string();
  std::string described = componentTypeName(content, type);
  if (described.empty()) described = streamContentName(content);
  d.summary = "tag " + numberText(tag) + ", " + described + " (" + language + ")";
  if (!text.empty()) d.summary += " \"" + text + "\"";
}

void streamIdentifier(DescriptorScope& d) { d.summary = "component tag " + numberText(d.f.u("component_tag", 8)); }

void caIdentifier(DescriptorScope& d) {
  std::string systems;
  for (int64_t i = 0; d.f.ok() && d.f.bytesLeft() >= 2; ++i)
    systems += (systems.empty() ? "" : ", ") + hexText(d.f.u("CA_system_id", 16), 4);
  d.summary = systems;
}

void content(DescriptorScope& d) {
  FieldReader& f = d.f;
  std::string genres;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 2; ++i) {
    FieldUnit entry(f, "content", i);
    const uint64_t level1 = f.uh("content_nibble_level_1", 4, contentGenreName);
    f.u("content_nibble_level_2", 4);
    f.u("user_byte", 8);
    entry.setSummary(contentGenreName(level1));
    genres += (genres.empty() ? "" : ", ") + contentGenreName(level1);
  }
  d.summary = genres;
}

void parentalRating(DescriptorScope& d) {
  FieldReader& f = d.f;
  std::string ratings;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 4; ++i) {
    FieldUnit entry(f, "rating", i);
    const std::string country = codeField(f, "country_code");
    const uint64_t rating = f.uh("rating", 8, [](uint64_t v) {
      if (v == 0) return std::string("undefined");
      return v <= 0x0F ? "minimum age " + numberText(v + 3) : std::string("defined by the broadcaster");
    });
    entry.setSummary(country + " " + numberText(rating));
    ratings += (ratings.empty() ? "" : ", ") + country + (rating >= 1 && rating <= 0x0F ? " " + numberText(rating + 3) + "+" : "");
  }
  d.summary = ratings;
}

void teletext(DescriptorScope& d) {
  FieldReader& f = d.f;
  std::string pages;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 5; ++i) {
    FieldUnit entry(f, "page", i);
    const std::string language = codeField(f, "ISO_639_language_code");
    const uint64_t type = f.uh("teletext_type", 5, teletextTypeName);
    const uint64_t magazine = f.u("teletext_magazine_number", 3);
    const uint64_t page = f.uh("teletext_page_number", 8, [](uint64_t v) { return hexText(v, 2); });
    // Magazine 0 means 8: pages 800 to 8FF.
    std::string number = numberText(magazine ? magazine : 8);
    number += char("0123456789ABCDEF"[page >> 4]);
    number += char("0123456789ABCDEF"[page & 15]);
    entry.setSummary("page " + number + " " + language, teletextTypeName(type));
    pages += (pages.empty() ? "" : ", ") + number + " " + language;
  }
  d.summary = pages;
}

void localTimeOffset(DescriptorScope& d) {
  FieldReader& f = d.f;
  std::string offsets;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 13; ++i) {
    FieldUnit entry(f, "local_time_offset_entry", i);
    const std::string country = codeField(f, "country_code");
    f.u("country_region_id", 6);
    f.u("reserved", 1);
    const bool negative = f.uh("local_time_offset_polarity", 1, [](uint64_t v) { return std::string(v ? "-" : "+"); });
    const std::string sign = negative ? "-" : "+";
    const std::string offset = sign + hhmmText(f.has(16) ? f.peek(16) : 0);
    f.bcd("local_time_offset", 4, offset);
    f.mjdDate("time_of_change");
    f.bcd("next_time_offset", 4, sign + hhmmText(f.has(16) ? f.peek(16) : 0));
    entry.setSummary(country + " " + offset);
    offsets += (offsets.empty() ? "" : ", ") + country + " " + offset;
  }
  d.summary = offsets;
}

void subtitling(DescriptorScope& d) {
  FieldReader& f = d.f;
  std::string languages;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 8; ++i) {
    FieldUnit entry(f, "subtitle", i);
    const std::string language = codeField(f, "ISO_639_language_code");
    const uint64_t type = f.uh("subtitling_type", 8, [](uint64_t v) { return componentTypeName(3, v); });
    f.u("composition_page_id", 16);
    f.u("ancillary_page_id", 16);
    entry.setSummary(language, componentTypeName(3, type));
    languages += (languages.empty() ? "" : ", ") + language;
  }
  d.summary = languages;
}

void privateDataSpecifier(DescriptorScope& d) {
  if (!d.f.has(32)) {
    d.f.fail();
    return;
  }
  d.context.private_data_specifier = uint32_t(d.f.peek(32));
  d.f.text("private_data_specifier", 32, hexText(d.context.private_data_specifier, 8));
  d.summary = hexText(d.context.private_data_specifier, 8);
}

void frequencyList(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("reserved_future_use", 6);
  const uint64_t coding = f.uh("coding_type", 2, [](uint64_t v) { return nameText(kCodingTypes, v); });
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 4; ++i) {
    if (coding == 3)
      f.uh("centre_frequency", 32, [](uint64_t v) { return numberText(v * 10) + " Hz"; }, i);
    else
      f.bcd("centre_frequency", 8, {}, i);
  }
}

void dataBroadcastId(DescriptorScope& d) {
  d.summary = "data broadcast " + hexText(d.f.u("data_broadcast_id", 16), 4);
  if (d.f.bytesLeft() > 0) d.f.bytes("id_selector_byte", d.f.bytesLeft());
}

void ac3(DescriptorScope& d) {
  FieldReader& f = d.f;
  const bool component = f.flag("component_type_flag");
  const bool bsid = f.flag("bsid_flag");
  const bool mainid = f.flag("mainid_flag");
  const bool asvc = f.flag("asvc_flag");
  f.u("reserved_flags", 4);
  if (component) f.u("component_type", 8);
  if (bsid) f.u("bsid", 8);
  if (mainid) f.u("mainid", 8);
  if (asvc) f.u("asvc", 8);
  if (f.bytesLeft() > 0) f.bytes("additional_info_byte", f.bytesLeft());
  d.summary = "AC-3";
}

void enhancedAc3(DescriptorScope& d) {
  FieldReader& f = d.f;
  const bool component = f.flag("component_type_flag");
  const bool bsid = f.flag("bsid_flag");
  const bool mainid = f.flag("mainid_flag");
  const bool asvc = f.flag("asvc_flag");
  f.u("mixinfoexists", 1);
  const bool sub1 = f.flag("substream1_flag");
  const bool sub2 = f.flag("substream2_flag");
  const bool sub3 = f.flag("substream3_flag");
  if (component) f.u("component_type", 8);
  if (bsid) f.u("bsid", 8);
  if (mainid) f.u("mainid", 8);
  if (asvc) f.u("asvc", 8);
  if (sub1) f.u("substream1", 8);
  if (sub2) f.u("substream2", 8);
  if (sub3) f.u("substream3", 8);
  if (f.bytesLeft() > 0) f.bytes("additional_info_byte", f.bytesLeft());
  d.summary = "E-AC-3";
}

void dts(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t rate = f.uh("sample_rate_code", 4, [](uint64_t v) { return nameText(kDtsSampleRates, v); });
  f.u("bit_rate_code", 6);
  f.u("nblks", 7);
  f.u("fsize", 14);
  f.u("surround_mode", 6);
  f.u("lfe_flag", 1);
  f.u("extended_surround_flag", 2);
  if (f.bytesLeft() > 0) f.bytes("additional_info_byte", f.bytesLeft());
  d.summary = "DTS " + nameText(kDtsSampleRates, rate);
}

void aac(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t level = f.u("profile_and_level", 8);
  if (f.bytesLeft() > 0) {
    const bool typed = f.flag("AAC_type_flag");
    f.u("SAOC_DE_flag", 1);
    f.u("reserved_future_use", 6);
    if (typed) f.uh("AAC_type", 8, [](uint64_t v) { return componentTypeName(6, v); });
    if (f.bytesLeft() > 0) f.bytes("additional_info_byte", f.bytesLeft());
  }
  d.summary = "AAC, profile and level " + hexText(level, 2);
}

void dvbExtension(DescriptorScope& d) {
  auto name = [](uint64_t v) { return v >= 0x80 ? std::string("user defined") : nameText(kDvbExtensionTags, v); };
  const uint64_t tag = d.f.uh("descriptor_tag_extension", 8, name);
  if (d.f.bytesLeft() > 0) d.f.bytes("selector_byte", d.f.bytesLeft());
  d.summary = name(tag);
}

}  // namespace corvanta::mpegts::descriptor
