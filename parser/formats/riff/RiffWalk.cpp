#include "formats/riff/RiffWalk.h"

#include "ByteOrder.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "formats/riff/AviChunks.h"
#include "formats/riff/RiffTables.h"

#include <algorithm>

namespace corvanta::riff {

namespace {

constexpr int64_t kHeaderBytes = 8;
constexpr uint32_t kUnknownSize = 0xFFFFFFFF;
// Bounds a declared size so that offset arithmetic cannot overflow, whatever the file says.
constexpr uint64_t kMaxPayload = uint64_t(1) << 56;

bool isContainer(uint32_t id) {
  return id == fourCC("RIFF") || id == fourCC("RF64") || id == fourCC("BW64") || id == fourCC("FORM") ||
         id == fourCC("LIST");
}

bool isIdByte(uint8_t b) { return b >= 0x20 && b <= 0x7E; }

}  // namespace

RiffWalk::RiffWalk(ParseContext& context)
    : ctx(context), w(context.writer), bytes(context.file.data()), file_size(context.file.size()) {
  big_endian = file_size >= 4 && loadBe32(bytes) == fourCC("FORM");
}

uint32_t RiffWalk::size32(int64_t pos) const { return big_endian ? loadBe32(bytes + pos) : loadLe32(bytes + pos); }

uint64_t RiffWalk::payloadSize(uint32_t id, uint32_t stored) const {
  if (stored == kUnknownSize) {
    const auto found = state.ds64_sizes.find(id);
    if (found != state.ds64_sizes.end()) return found->second;
  }
  return stored;
}

// Four printable characters, the first not a space; in a search for where chunks start again,
// also a size that fits.
bool RiffWalk::plausibleAt(int64_t pos, int64_t end) const {
  if (pos < 0 || end - pos < kHeaderBytes) return false;
  const uint8_t* p = bytes + pos;
  return p[0] != ' ' && isIdByte(p[0]) && isIdByte(p[1]) && isIdByte(p[2]) && isIdByte(p[3]);
}

int64_t RiffWalk::nextPlausible(int64_t from, int64_t end) const {
  for (int64_t pos = from; pos + kHeaderBytes <= end; ++pos)
    if (plausibleAt(pos, end) && int64_t(size32(pos + 4)) <= end - pos - kHeaderBytes) return pos;
  return end;
}

// The pad byte of an odd-sized chunk is there unless a writer left it out: a non-zero byte
// where a plausible chunk starts, while none starts one byte later.
bool RiffWalk::padByte(const Chunk& c, int64_t end) const {
  if ((c.declared & 1) == 0 || c.data_end >= end || c.data_end != int64_t(c.data_begin + c.declared)) return false;
  if (bytes[c.data_end] == 0) return true;
  return !(plausibleAt(c.data_end, end) && !plausibleAt(c.data_end + 1, end));
}

void RiffWalk::walkFile() {
  // The ds64 chunk follows the RF64 header and gives the sizes that the 32-bit fields cannot
  // hold, the RF64 chunk's own included, so it is read before the walk.
  if (file_size >= 44 && (loadBe32(bytes) == fourCC("RF64") || loadBe32(bytes) == fourCC("BW64")) &&
      loadBe32(bytes + 12) == fourCC("ds64")) {
    state.ds64_sizes[loadBe32(bytes)] = loadLe64(bytes + 20);
    state.ds64_sizes[fourCC("data")] = loadLe64(bytes + 28);
    const int64_t ds64_end = std::min<int64_t>(file_size, 20 + int64_t(loadLe32(bytes + 16)));
    const int64_t table_count = ds64_end >= 48 ? int64_t(loadLe32(bytes + 44)) : 0;
    for (int64_t i = 0, at = 48; i < table_count && at + 12 <= ds64_end; ++i, at += 12)
      state.ds64_sizes[loadBe32(bytes + at)] = loadLe64(bytes + at + 4);
  }
  if (form_type == 0 && file_size >= 12) form_type = loadBe32(bytes + 8);
  if (form_type == fourCC("AVI ")) state.key_frames = aviKeyFrames(*this);
  walkChunks(0, file_size, 0, 0);
  ctx.progress(file_size);
}

void RiffWalk::walkChunks(int64_t begin, int64_t end, uint32_t parent_type, int depth) {
  int64_t pos = begin;
  while (pos < end) {
    if (!plausibleAt(pos, end)) {
      const int64_t next = nextPlausible(pos + 1, end);
      w.addGarbage(pos * 8, (next - pos) * 8);
      pos = next;
      continue;
    }
    pos = chunk(pos, end, parent_type, depth);
    if ((++chunks_written & 1023) == 0) ctx.progress(std::min(pos, file_size));
  }
}

void RiffWalk::header(FieldReader& f, const Chunk& c) {
  f.fourcc("ckID");
  const uint32_t stored = f.has(32) ? uint32_t(big_endian ? f.peek(32) : f.peekLe(4)) : 0;
  const std::string note = stored == kUnknownSize && c.declared != stored ? "size from ds64: " + numberText(c.declared)
                           : c.data_begin + int64_t(c.declared) > c.data_end ? "runs past its parent or the file"
                                                                                   : "";
  if (big_endian)
    f.u("ckSize", 32, note);
  else
    f.ule("ckSize", 4, note);
}

int64_t RiffWalk::chunk(int64_t pos, int64_t end, uint32_t parent_type, int depth) {
  Chunk c;
  c.id = loadBe32(bytes + pos);
  c.begin = pos;
  c.data_begin = pos + kHeaderBytes;
  c.declared = std::min(payloadSize(c.id, size32(pos + 4)), kMaxPayload);
  c.data_end = std::min(c.data_begin + int64_t(c.declared), end);
  c.parent_type = parent_type;
  c.depth = depth;
  const bool pad = padByte(c, end);
  const int64_t declared_end = c.data_begin + int64_t(c.declared) + (pad ? 1 : 0);

  const ChunkKind* kind = findChunkKind(c.id, parent_type, form_type);
  const char* description = kind ? kind->description : "";
  if (const char* tag = parent_type == fourCC("INFO") ? infoTagName(c.id) : nullptr) description = tag;
  const int64_t frame_number = nextAviFrameNumber(*this, c);
  const int64_t id = w.openUnit(fourCCText(c.id), pos * 8, (declared_end - pos) * 8, {}, description, frame_number);
  FieldReader head(w, bytes, pos, c.data_begin);
  header(head, c);
  std::string summary;
  if (isContainer(c.id) && c.data_end - c.data_begin >= 4) {
    FieldReader type(w, bytes, c.data_begin, c.data_begin + 4);
    const uint32_t peeked = loadBe32(bytes + c.data_begin);
    const char* held = listTypeName(peeked);
    const uint32_t list_type = type.fourcc(c.id == fourCC("LIST") ? "listType" : "formType", held ? held : "");
    summary = fourCCText(list_type);
    if (c.id == fourCC("LIST") && held) description = held;
    if (depth + 1 < kMaxDepth)
      walkChunks(c.data_begin + 4, c.data_end, list_type, depth + 1);
    else
      FieldReader(w, bytes, c.data_begin + 4, c.data_end).rest("data", "nested too deep to walk");
  } else {
    FieldReader f(w, bytes, c.data_begin, c.data_end);
    summary = payload(c, f);
  }
  if (pad) w.addField("pad", c.data_end * 8, 8, numberText(bytes[c.data_end]), bytes[c.data_end] ? "not zero" : "");
  w.setUnitValue(summary, description);
  w.closeUnit();
  if (frame_number >= 0) aviFrameTiming(*this, c, id);
  return declared_end;
}

std::string RiffWalk::payload(const Chunk& c, FieldReader& f) {
  ChunkDecoder decode = nullptr;
  if (form_type == fourCC("AVI ")) decode = aviPatternDecoder(c.id, c.parent_type);
  if (!decode) {
    const ChunkKind* kind = findChunkKind(c.id, c.parent_type, form_type);
    decode = kind ? kind->decode : nullptr;
  }
  if (decode) {
    std::string summary = decode(*this, c, f);
    if (!f.ok()) f.recover();
    f.rest("undecoded", "not read by the decoder of this chunk");
    return summary;
  }
  f.rest("data");
  return numberText(c.declared) + " bytes";
}

}  // namespace corvanta::riff
