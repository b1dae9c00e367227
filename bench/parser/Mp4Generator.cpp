#include "Mp4Generator.h"

#include <QFile>

#include <string>
#include <vector>

namespace {

// Appends big-endian fields and boxes whose size is patched when they end.
class BoxBuffer {
 public:
  void u8(uint32_t v) { bytes.push_back(static_cast<char>(v)); }
  void u16(uint32_t v) { u8(v >> 8); u8(v); }
  void u32(uint32_t v) { u16(v >> 16); u16(v); }
  void fourcc(const char* code) { bytes.append(code, 4); }
  void zeros(int count) { bytes.append(static_cast<size_t>(count), '\0'); }
  void begin(const char* type) {
    open.push_back(bytes.size());
    u32(0);
    fourcc(type);
  }
  void beginFull(const char* type, uint32_t version_and_flags = 0) {
    begin(type);
    u32(version_and_flags);
  }
  void end() {
    const size_t start = open.back();
    open.pop_back();
    const auto size = static_cast<uint32_t>(bytes.size() - start);
    for (int i = 0; i < 4; ++i)
      bytes[start + i] = static_cast<char>(size >> (24 - 8 * i));
  }
  size_t size() const { return bytes.size(); }
  void patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
  }

  std::string bytes;

 private:
  std::vector<size_t> open;
};

void matrix(BoxBuffer& b) {
  const uint32_t unity[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
  for (uint32_t v : unity)
    b.u32(v);
}

void sampleEntry(BoxBuffer& b) {
  b.begin("avc1");
  b.zeros(6);
  b.u16(1);            // data_reference_index
  b.zeros(16);         // pre_defined, reserved
  b.u16(320);
  b.u16(240);
  b.u32(0x00480000);   // 72 dpi
  b.u32(0x00480000);
  b.u32(0);
  b.u16(1);            // frame_count
  b.zeros(32);         // compressorname
  b.u16(0x18);
  b.u16(0xFFFF);
  b.begin("avcC");
  b.u8(1);
  b.u8(66);
  b.u8(0);
  b.u8(30);
  b.u8(0xFF);          // 4-byte NAL lengths
  b.u8(0xE0);          // no SPS
  b.u8(0);             // no PPS
  b.end();
  b.end();
}

}  // namespace

bool Mp4Generator::write(const QString& path) const {
  const int64_t chunks = (sample_count + samples_per_chunk - 1) / samples_per_chunk;
  BoxBuffer b;
  b.begin("ftyp");
  b.fourcc("isom");
  b.u32(512);
  b.fourcc("isom");
  b.fourcc("avc1");
  b.end();

  b.begin("moov");
  b.beginFull("mvhd");
  b.u32(0); b.u32(0); b.u32(1000); b.u32(static_cast<uint32_t>(sample_count * 40));
  b.u32(0x00010000); b.u16(0x0100); b.zeros(10); matrix(b); b.zeros(24); b.u32(2);
  b.end();
  b.begin("trak");
  b.beginFull("tkhd", 3);
  b.u32(0); b.u32(0); b.u32(1); b.u32(0); b.u32(static_cast<uint32_t>(sample_count * 40));
  b.zeros(8); b.u16(0); b.u16(0); b.u16(0); b.u16(0); matrix(b); b.u32(320 << 16); b.u32(240 << 16);
  b.end();
  b.begin("mdia");
  b.beginFull("mdhd");
  b.u32(0); b.u32(0); b.u32(25000); b.u32(static_cast<uint32_t>(sample_count * 1000));
  b.u16(0x55C4); b.u16(0);
  b.end();
  b.beginFull("hdlr");
  b.u32(0); b.fourcc("vide"); b.zeros(12); b.bytes.append("VideoHandler", 13);
  b.end();
  b.begin("minf");
  b.beginFull("vmhd", 1);
  b.zeros(8);
  b.end();
  b.begin("dinf");
  b.beginFull("dref");
  b.u32(1);
  b.beginFull("url ", 1);
  b.end();
  b.end();
  b.end();
  b.begin("stbl");
  b.beginFull("stsd");
  b.u32(1);
  sampleEntry(b);
  b.end();
  b.beginFull("stts");
  b.u32(1); b.u32(static_cast<uint32_t>(sample_count)); b.u32(1000);
  b.end();
  b.beginFull("stsc");
  b.u32(1); b.u32(1); b.u32(static_cast<uint32_t>(samples_per_chunk)); b.u32(1);
  b.end();
  b.beginFull("stsz");
  b.u32(0); b.u32(static_cast<uint32_t>(sample_count));
  for (int64_t i = 0; i < sample_count; ++i)
    b.u32(sampleSize(i));
  b.end();
  b.beginFull("stco");
  b.u32(static_cast<uint32_t>(chunks));
  const size_t chunk_table = b.size();
  b.zeros(static_cast<int>(chunks * 4));
  b.end();
  b.end();  // stbl
  b.end();  // minf
  b.end();  // mdia
  b.end();  // trak
  b.end();  // moov

  b.begin("mdat");
  for (int64_t i = 0; i < sample_count; ++i) {
    if (i % samples_per_chunk == 0)
      b.patch32(chunk_table + static_cast<size_t>(i / samples_per_chunk) * 4, static_cast<uint32_t>(b.size()));
    const uint32_t size = sampleSize(i);
    b.u32(size - 4);   // a NAL unit length, then filler
    b.bytes.append(size - 4, static_cast<char>(0x65));
  }
  b.end();

  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  return file.write(b.bytes.data(), static_cast<qint64>(b.bytes.size())) == static_cast<qint64>(b.bytes.size());
}
