#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvanta {
class FieldReader;
}

namespace corvanta::flv {

// What a number stored under `key` means, for the values of well-known keys (keyframe file
// positions that should start a tag). `problem` marks a value that is not what it should be;
// an array summary counts them.
struct AmfNote {
  std::string text;
  bool problem = false;
};
using AmfNumberNote = std::function<AmfNote(const std::string& key, double value)>;

// ActionScript Message Format values as FLV script data tags carry them: AMF0 values, and AMF3
// values inside an AMF0 "avmplus" value. Every value is a unit with its type marker and its
// fields; object and ECMA array properties are units named by their key. Nesting is bounded,
// and a value that cannot be read ends the decoding with the reader failed.
class Amf {
 public:
  explicit Amf(FieldReader& reader, AmfNumberNote note = {}) : f(reader), number_note(std::move(note)) {}

  // One AMF0 value as a unit named `name`; returns its short text ("onMetaData", "12 properties").
  std::string value0(const std::string& name, int64_t seq = -1);

 private:
  // AMF3 class description: kept for the objects that refer to it later.
  struct Traits {
    std::vector<std::string> sealed;
    bool dynamic = false;
    bool externalizable = false;
  };
  struct ArrayTally;

  std::string value0Body(uint64_t marker, const std::string& key);
  std::string properties0();
  std::string strictArray0(const std::string& key);
  std::string text0(int length_bits);
  std::string value3(const std::string& name, const std::string& key, int64_t seq = -1);
  std::string value3Body(uint64_t marker, const std::string& key);
  uint64_t u29(const char* name, const char* hrf = nullptr);
  std::string string3(const char* name);
  std::string object3();
  bool traits3(uint64_t header, Traits& traits);
  std::string array3(const std::string& key);
  std::string members3(ArrayTally* tally);
  std::string bytes3(bool as_text);
  std::string vector3(uint64_t marker);
  std::string dictionary3();
  std::string number(const std::string& key, double value, ArrayTally* tally);
  std::string peekKey0() const;
  std::string peekKey3() const;
  double peekDouble() const;
  bool enter();

  FieldReader& f;
  AmfNumberNote number_note;
  int depth = 0;
  std::vector<std::string> strings3;  // AMF3 string reference table
  std::vector<Traits> traits3_table;
};

}  // namespace corvanta::flv
