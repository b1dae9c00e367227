#pragma once

#include "../isobmff/IsoBmffTestSupport.h"

#include <QRegularExpression>
#include <QSet>

#include <optional>
#include <vector>

namespace mkvtest {

using namespace corvanta::test;

using isotest::Element;
using isotest::Parsed;

// One element or frame as a witness lists it: its depth among EBML elements, offset and size
// in bytes (absent when the witness does not give them).
struct Item {
  bool frame = false;
  int depth = 0;
  std::optional<qint64> offset, size;
  QString text() const {
    return QStringLiteral("%1 at depth %2, offset %3, size %4")
        .arg(frame ? QStringLiteral("frame") : QStringLiteral("element"))
        .arg(depth)
        .arg(offset ? QString::number(*offset) : QStringLiteral("?"))
        .arg(size ? QString::number(*size) : QStringLiteral("?"));
  }
};

// mkvinfo -a -v -v -z -P: "|  + Name at 123 size 45 data size 42", the depth being the column of
// the '+'; "size is unknown" for an element of unknown size. mkvinfo ends the hex dump of a
// BlockAdditional without a line break and gives no position for it.
inline std::vector<Item> mkvinfoItems(const QString& path) {
  static const QRegularExpression run_on(QStringLiteral("(0x[0-9a-f]{2})(\\|[ ]*\\+ )"));
  static const QRegularExpression line_form(
      QStringLiteral("^(\\|?[ ]*)\\+ (.*?) at (\\d+) (?:size (\\d+)(?: data size \\d+)?|size is unknown)$"));
  static const QRegularExpression element_form(QStringLiteral("^(\\|?[ ]*)\\+ "));
  QString text = QString::fromUtf8(readAll(path));
  text.replace(run_on, QStringLiteral("\\1\n\\2"));
  std::vector<Item> items;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    const QRegularExpressionMatch m = line_form.match(line);
    Item item;
    if (m.hasMatch()) {
      item.frame = m.captured(2) == QLatin1String("Frame");
      item.depth = int(m.captured(1).size());
      item.offset = m.captured(3).toLongLong();
      if (!m.captured(4).isEmpty()) item.size = m.captured(4).toLongLong();
      items.push_back(item);
    } else if (const QRegularExpressionMatch e = element_form.match(line); e.hasMatch()) {
      item.depth = int(e.captured(1).size());
      items.push_back(item);
    }
  }
  return items;
}

inline bool isEbmlElement(const Parsed& parsed, size_t index) {
  return index + 1 < parsed.elements.size() && parsed.elements[index + 1].parent == parsed.elements[index].id &&
         parsed.elements[index + 1].name == QLatin1String("ID");
}

// The same list from the parser: EBML elements (units whose first child is their ID field)
// without CRC-32, which mkvinfo does not list, and the frames of blocks. An element of unknown
// size has no size to compare. What a CodecPrivate decodes stays out, though a VP9 feature
// triplet has an "ID" field too.
inline std::vector<Item> parsedItems(const Parsed& parsed) {
  std::vector<Item> items;
  QMap<qint64, int> depth_of;  // element id -> EBML depth of its children
  QSet<qint64> in_codec_private;
  for (size_t i = 0; i < parsed.elements.size(); ++i) {
    const Element& e = parsed.elements[i];
    const int depth = depth_of.value(e.parent, 0);
    if (in_codec_private.contains(e.parent)) {
      in_codec_private.insert(e.id);
      continue;
    }
    if (isEbmlElement(parsed, i)) {
      if (e.name == QLatin1String("CodecPrivate")) in_codec_private.insert(e.id);
      depth_of[e.id] = depth + 1;
      if (e.name == QLatin1String("CRC-32")) continue;
      Item item;
      item.depth = depth;
      item.offset = e.byteOffset();
      if (!e.hrf.contains(QLatin1String("unknown size"))) item.size = e.byteSize();
      items.push_back(item);
    } else {
      depth_of[e.id] = depth;
      if (e.name == QLatin1String("frame")) items.push_back({true, depth, e.byteOffset(), e.byteSize()});
    }
  }
  return items;
}

// Empty when both lists agree (a witness item without offset or size agrees with any).
inline QString compareItems(const std::vector<Item>& witness, const std::vector<Item>& ours) {
  for (size_t i = 0; i < std::min(witness.size(), ours.size()); ++i) {
    const Item& w = witness[i];
    const Item& o = ours[i];
    const bool same = w.frame == o.frame && w.depth == o.depth && (!w.offset || w.offset == o.offset) &&
                      (!w.size || w.size == o.size);
    if (!same) return QStringLiteral("item %1: witness %2, parsed %3").arg(i + 1).arg(w.text(), o.text());
  }
  if (witness.size() != ours.size())
    return QStringLiteral("%1 items in the witness, %2 parsed").arg(witness.size()).arg(ours.size());
  return {};
}

// Building EBML by hand: an element is its ID bytes, a size code and the data.
inline QByteArray sizeCode(quint64 size, int width = 0) {
  if (width == 0) {
    width = 1;
    while (width < 8 && size >= (quint64(1) << (7 * width)) - 1) ++width;
  }
  return isotest::be((quint64(1) << (7 * width)) | size, width);
}
// The unknown-size marker: the length marker followed by all ones (FF, 01 FF FF FF FF FF FF FF).
inline QByteArray unknownSize(int width = 1) { return isotest::be((quint64(1) << (7 * width + 1)) - 1, width); }
inline QByteArray idBytes(quint32 id) {
  int width = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
  return isotest::be(id, width);
}
inline QByteArray element(quint32 id, const QByteArray& payload) { return idBytes(id) + sizeCode(quint64(payload.size())) + payload; }
inline QByteArray uintElement(quint32 id, quint64 value, int bytes = 1) { return element(id, isotest::be(value, bytes)); }
inline QByteArray stringElement(quint32 id, const QByteArray& text) { return element(id, text); }

// The EBML header of a Matroska (or WebM) file.
inline QByteArray ebmlHeader(const QByteArray& doc_type = "matroska") {
  return element(0x1A45DFA3, uintElement(0x4286, 1) + uintElement(0x42F7, 1) + uintElement(0x42F2, 4) +
                                 uintElement(0x42F3, 8) + stringElement(0x4282, doc_type) + uintElement(0x4287, 4) +
                                 uintElement(0x4285, 2));
}

// A Tracks element with one audio track of number 1.
inline QByteArray audioTracks(const QByteArray& codec_id = "A_PCM/INT/LIT", quint64 default_duration = 0) {
  QByteArray entry = uintElement(0xD7, 1) + uintElement(0x83, 2) + stringElement(0x86, codec_id);
  if (default_duration) entry += uintElement(0x23E383, default_duration, 4);
  return element(0x1654AE6B, element(0xAE, entry));
}

// The element reached by a path of names from the top, "Segment/Tracks/TrackEntry#2/CodecID":
// "#N" picks the Nth child of that name (the first without it).
inline const Element* atPath(const Parsed& parsed, const QString& path) {
  qint64 parent = 0;
  const Element* found = nullptr;
  for (const QString& part : path.split(QLatin1Char('/'))) {
    const int hash = part.indexOf(QLatin1Char('#'));
    const QString name = hash < 0 ? part : part.left(hash);
    int wanted = hash < 0 ? 1 : part.mid(hash + 1).toInt();
    found = nullptr;
    for (const Element* child : parsed.children(parent))
      if (child->name == name && --wanted == 0) {
        found = child;
        break;
      }
    if (!found) return nullptr;
    parent = found->id;
  }
  return found;
}

// Empty when the children of every element follow each other without overlapping, in file
// order; else the first two that do not. (The database check only keeps children inside their
// parent: a unit closed larger than it is would still pass it.)
inline QString overlap(const Parsed& parsed) {
  QMap<qint64, const Element*> last_child;
  for (const Element& e : parsed.elements) {
    const Element* previous = last_child.value(e.parent, nullptr);
    if (previous && previous->offset + previous->size > e.offset)
      return QStringLiteral("%1 at %2+%3 overlaps %4 at %5").arg(previous->name).arg(previous->byteOffset())
          .arg(previous->byteSize()).arg(e.name).arg(e.byteOffset());
    last_child[e.parent] = &e;
  }
  return {};
}

// Elements of a parse whose name is `name`, in file order.
inline std::vector<const Element*> named(const Parsed& parsed, const char* name) {
  return parsed.named(QString::fromUtf8(name));
}

}  // namespace mkvtest
