#pragma once

#include "../isobmff/IsoBmffTestSupport.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// What the transport stream tests share: the parse helpers of the MP4 tests, the elements of one
// packet, and transport packets built by hand.
namespace tstest {

using namespace corvanta::test;

using isotest::Element;
using isotest::Parsed;
using isotest::parseBytes;
using isotest::parseFile;

inline const QString kGarbage = QString::fromLatin1(corvanta::kGarbageName.data());

// The top-level packet elements, in file order.
inline std::vector<const Element*> packets(const Parsed& parsed) {
  std::vector<const Element*> out;
  for (const Element& e : parsed.elements)
    if (e.level == 0 && e.name == QLatin1String("packet")) out.push_back(&e);
  return out;
}

// The first child of `parent` with this name, or null.
inline const Element* child(const Parsed& parsed, const Element& parent, const QString& name) {
  for (const Element* e : parsed.children(parent.id))
    if (e->name == name) return e;
  return nullptr;
}

// Every element below `parent` (at any depth), in pre-order: those after it up to the next one
// that is not deeper.
inline std::vector<const Element*> descendants(const Parsed& parsed, const Element& parent) {
  std::vector<const Element*> out;
  for (size_t i = size_t(parent.id); i < parsed.elements.size() && parsed.elements[i].level > parent.level; ++i)
    out.push_back(&parsed.elements[i]);
  return out;
}

// Elements with this name (and, when given, this raw value) anywhere.
inline std::vector<const Element*> find(const Parsed& parsed, const QString& name, const QString& raw = QString()) {
  std::vector<const Element*> out;
  for (const Element& e : parsed.elements)
    if (e.name == name && (raw.isNull() || e.raw == raw)) out.push_back(&e);
  return out;
}

inline QString bitsText(qint64 bits) {
  return bits % 8 ? QStringLiteral("%1:%2").arg(bits / 8).arg(bits % 8) : QString::number(bits / 8);
}

inline QString elementLine(const Element& e) {
  QString line = e.name;
  if (e.seq >= 0) line += QLatin1Char('-') + QString::number(e.seq);
  line += QStringLiteral(" %1 +%2 = %3").arg(bitsText(e.offset), bitsText(e.size), e.raw);
  if (!e.hrf.isEmpty()) line += QStringLiteral(" [%1]").arg(e.hrf);
  return line;
}

// Building packets and sections.
using isotest::be;
using isotest::u16;
using isotest::u32;
using isotest::u8;

inline quint32 crc32Mpeg2(const QByteArray& data) {
  quint32 crc = 0xFFFFFFFFu;
  for (char c : data) {
    crc ^= quint32(uchar(c)) << 24;
    for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

// A long-form section with its CRC_32.
inline QByteArray section(int table_id, int extension, const QByteArray& body) {
  const int length = 5 + body.size() + 4;
  QByteArray s = u8(quint64(table_id)) + u16(0xB000u | quint64(length)) + u16(quint64(extension)) + u8(0xC1) +
                 u8(0) + u8(0) + body;
  return s + u32(crc32Mpeg2(s));
}

inline QByteArray descriptor(int tag, const QByteArray& payload) {
  return u8(quint64(tag)) + u8(quint64(payload.size())) + payload;
}

// One 188-byte packet: header, an adaptation field (`adaptation` after its length byte, padded
// with stuffing to fill the packet when `payload` is shorter), then the payload, padded with 0xFF
// when there is no adaptation field.
inline QByteArray packet(int pid, int continuity, const QByteArray& payload, bool start = false,
                         const QByteArray* adaptation = nullptr, int scrambling = 0) {
  const int control = (adaptation ? 2 : 0) | (payload.isEmpty() && adaptation ? 0 : 1);
  QByteArray out = u8(0x47) + u16((start ? 0x4000u : 0u) | quint64(pid)) +
                   u8(quint64((scrambling << 6) | (control << 4) | (continuity & 15)));
  if (adaptation) {
    const int room = 184 - 1 - payload.size();
    // An empty field given becomes stuffing: flags byte 0, then 0xFF.
    QByteArray field = adaptation->isEmpty() && room > 0 ? u8(0) : *adaptation;
    if (field.size() < room) field += QByteArray(room - field.size(), char(0xFF));
    out += u8(quint64(field.size())) + field;
  }
  out += payload;
  if (out.size() < 188) out += QByteArray(188 - out.size(), char(0xFF));
  return out.left(188);
}

// A PAT with one program whose PMT is on `pmt_pid`.
inline QByteArray patPacket(int pmt_pid, int continuity = 0) {
  return packet(0, continuity, u8(0) + section(0x00, 1, u16(1) + u16(0xE000u | quint64(pmt_pid))), true);
}

// A PMT of program 1 listing (stream_type, PID, ES_info descriptors).
struct StreamEntry {
  int type;
  int pid;
  QByteArray descriptors;
};
inline QByteArray pmtSection(int pcr_pid, const std::vector<StreamEntry>& streams, const QByteArray& program_info = {}) {
  QByteArray body = u16(0xE000u | quint64(pcr_pid)) + u16(0xF000u | quint64(program_info.size())) + program_info;
  for (const StreamEntry& s : streams)
    body += u8(quint64(s.type)) + u16(0xE000u | quint64(s.pid)) + u16(0xF000u | quint64(s.descriptors.size())) +
            s.descriptors;
  return section(0x02, 1, body);
}

// The five bytes of a PTS or DTS with its 4-bit prefix.
inline QByteArray stamp(int prefix, quint64 value) {
  return u8(quint64(prefix << 4) | ((value >> 29) & 0x0E) | 1) + u16(((value >> 14) & 0xFFFE) | 1) +
         u16(((value << 1) & 0xFFFE) | 1);
}

// A PES packet of `stream_id` with a PTS (and DTS when not 0) and `payload`.
inline QByteArray pesPacket(int stream_id, quint64 pts, quint64 dts, const QByteArray& payload) {
  const QByteArray stamps = dts ? stamp(3, pts) + stamp(1, dts) : stamp(2, pts);
  const QByteArray header = u8(0x80) + u8(dts ? 0xC0 : 0x80) + u8(quint64(stamps.size())) + stamps;
  return QByteArray("\x00\x00\x01", 3) + u8(quint64(stream_id)) + u16(quint64(header.size() + payload.size())) +
         header + payload;
}

}  // namespace tstest
