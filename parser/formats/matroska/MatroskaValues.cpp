#include "formats/matroska/MatroskaValues.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/VideoFormat.h"
#include "formats/matroska/MatroskaElements.h"
#include "formats/matroska/MatroskaPositions.h"
#include "formats/matroska/MatroskaScope.h"
#include "formats/matroska/MatroskaTime.h"

#include <cmath>
#include <cstdio>

namespace corvanta::matroska {

namespace {

std::string joined(std::string first, const std::string& second) {
  if (!second.empty()) first += (first.empty() ? "" : ", ") + second;
  return first;
}

std::string timestampScaleText(uint64_t nanoseconds) {
  if (nanoseconds == 0) return "invalid: 0 ns per tick";
  if (nanoseconds % 1000000 == 0) return numberText(nanoseconds / 1000000) + " ms per tick";
  if (nanoseconds % 1000 == 0) return numberText(nanoseconds / 1000) + " \xc2\xb5s per tick";
  return numberText(nanoseconds) + " ns per tick";
}

std::string bitMaskText(const ElementType& type, uint64_t value) {
  std::string out;
  for (uint64_t bit = 1; bit && bit <= value; bit <<= 1)
    if (value & bit) {
      const std::string name = valueName(type, bit);
      out = joined(out, name.empty() ? "bit " + hexText(bit, 2) : name);
    }
  return out;
}

std::string unsignedHrf(const ElementType& type, uint64_t value, const Scope& parent, const ValueContext& context) {
  const std::string name = valueName(type, value);
  if (!name.empty() && type.form != ValueForm::BitMask) return name;
  const bool fits = value <= uint64_t(INT64_MAX);
  switch (type.form) {
    case ValueForm::Nanoseconds:
      return fits ? nanosecondsText(int64_t(value)) : "beyond the time range";
    case ValueForm::SegmentTicks:
      return fits ? ticksText(int64_t(value), context.timestampScale()) : "beyond the time range";
    case ValueForm::TimestampScale:
      return timestampScaleText(value);
    case ValueForm::DefaultDuration: {
      if (!fits || value == 0) return {};
      const std::string rate = codecs::frameRateText(1000000000, value);
      return nanosecondsText(int64_t(value)) + " per frame" + (rate.empty() ? "" : ", " + rate);
    }
    case ValueForm::Bits:
      return numberText(value) + " bits";
    case ValueForm::BitMask:
      return bitMaskText(type, value);
    case ValueForm::SegmentPosition:
      return checkSegmentPosition(context, value, parent.id == id::kSeek ? parent.seek_target : id::kCluster).text;
    case ValueForm::ClusterPosition:
      return checkClusterPosition(context, parent.cluster_data, value).text;
    default:
      return {};
  }
}

std::string signedHrf(const ElementType& type, int64_t value, const ValueContext& context) {
  switch (type.form) {
    case ValueForm::Nanoseconds: return nanosecondsText(value);
    case ValueForm::SegmentTicks: return ticksText(value, context.timestampScale());
    default: return {};
  }
}

std::string floatHrf(const ElementType& type, double value, const ValueContext& context) {
  if (!std::isfinite(value)) return {};
  switch (type.form) {
    case ValueForm::Hertz:
      return floatText(value) + " Hz";
    case ValueForm::SegmentTicks: {
      const double nanoseconds = value * double(context.timestampScale());
      if (!(std::fabs(nanoseconds) < 9.2e18)) return "beyond the time range";
      return nanosecondsText(int64_t(std::llround(nanoseconds)));
    }
    default:
      return {};
  }
}

// A value that cannot be read as its type: shown as bytes, with the reason.
ValueText opaque(FieldReader& f, const std::string& why) {
  const int64_t size = f.bytesLeft();
  f.bytes("value", size, numberText(uint64_t(size)) + " bytes, " + why);
  return {numberText(uint64_t(size)) + " bytes", why};
}

ValueText writeInteger(FieldReader& f, const ElementType& type, const Scope& parent, const ValueContext& context) {
  const int64_t size = f.bytesLeft();
  if (size > 8) return opaque(f, "an integer of more than 8 bytes");
  const uint8_t* p = f.fileData() + f.bytePos();
  ValueText text;
  if (type.type == EbmlType::Signed) {
    int64_t value = 0;
    readSigned(p, size, value);
    text = {signedText(value), signedHrf(type, value, context)};
  } else {
    uint64_t value = 0;
    readUnsigned(p, size, value);
    text = {numberText(value), unsignedHrf(type, value, parent, context)};
  }
  text.hrf = joined(text.hrf, size ? "" : "empty");
  f.text("value", size * 8, text.raw, text.hrf);
  return text;
}

ValueText writeFloat(FieldReader& f, const ElementType& type, const ValueContext& context) {
  const int64_t size = f.bytesLeft();
  double value = 0;
  if (!readFloat(f.fileData() + f.bytePos(), size, value)) return opaque(f, "a float of neither 4 nor 8 bytes");
  const std::string raw = size == 4 ? floatText(float(value)) : floatText(value);
  ValueText text{raw, joined(floatHrf(type, value, context), size ? "" : "empty")};
  f.text("value", size * 8, text.raw, text.hrf);
  return text;
}

ValueText writeDate(FieldReader& f) {
  const int64_t size = f.bytesLeft();
  if (size != 0 && size != 8) return opaque(f, "a date of neither 0 nor 8 bytes");
  const int64_t value = f.date2001("value", int(size * 8));
  return {signedText(value), dateTextSince2001(value)};
}

ValueText writeBinary(FieldReader& f, const ElementType& type) {
  const int64_t size = f.bytesLeft();
  const uint8_t* p = f.fileData() + f.bytePos();
  const std::string count = numberText(uint64_t(size)) + (size == 1 ? " byte" : " bytes");
  if (type.form == ValueForm::Uuid && size == 16) {
    const std::string uuid = uuidText(p);
    f.text("value", 128, hexDump(p, 16), uuid);
    return {uuid, {}};
  }
  if (type.form == ValueForm::FourCC && size == 4) {
    const std::string code = fourCCText(uint32_t(f.peek(32)));
    f.fourcc("value");
    return {code, {}};
  }
  if (type.form == ValueForm::ElementId && size >= 1 && size <= 4) {
    uint64_t target = 0;
    readUnsigned(p, size, target);
    const ElementType* named = findElementType(uint32_t(target));
    const std::string raw = hexText(target, int(2 * size));
    const std::string hrf = named ? named->name : "unknown element ID";
    f.text("value", size * 8, raw, hrf);
    return {raw, hrf};
  }
  if (type.form == ValueForm::Padding) {
    f.bytes("data", size, count + " of padding");
    return {count, "padding"};
  }
  f.bytes("data", size, count);
  return {size ? hexDump(p, size) : std::string(), count};
}

}  // namespace

ValueText writeValue(FieldReader& f, const ElementHeader& h, const ElementType& type, const Scope& parent,
                     const ValueContext& context) {
  if (h.past_limit && type.type != EbmlType::Binary) return opaque(f, "cut short");
  switch (type.type) {
    case EbmlType::Unsigned:
    case EbmlType::Signed:
      return writeInteger(f, type, parent, context);
    case EbmlType::Float:
      return writeFloat(f, type, context);
    case EbmlType::String:
    case EbmlType::Utf8: {
      const bool utf8 = type.type == EbmlType::Utf8;
      const std::string text = f.fixedString("value", f.bytesLeft(), utf8 ? TextEncoding::Utf8 : TextEncoding::Latin1);
      return {text, {}};
    }
    case EbmlType::Date:
      return writeDate(f);
    default:
      return writeBinary(f, type);
  }
}

}  // namespace corvanta::matroska
