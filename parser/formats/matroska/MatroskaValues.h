#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::matroska {

struct ElementHeader;
struct ElementType;
struct Scope;
struct ValueContext;

// The value of an element as its summary shows it.
struct ValueText {
  std::string raw;
  std::string hrf;
};

// Writes the data of an element that is neither a master nor one with a decoder of its own
// (blocks, CodecPrivate, CRC-32) as its value field, decoded by the element's type: unsigned,
// signed, float, string, UTF-8, date or binary, with the readable form its table line asks for.
// The reader covers the element; its position is the first data byte.
ValueText writeValue(FieldReader& f, const ElementHeader& h, const ElementType& type, const Scope& parent,
                     const ValueContext& context);

}  // namespace corvanta::matroska
