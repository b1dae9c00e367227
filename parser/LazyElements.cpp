#include "LazyElements.h"

#include <algorithm>

namespace corvanta {

namespace {

constexpr std::string_view kChangedNote = "the file changed since the analysis: not decoded";

}  // namespace

int64_t DecodedUnit::sequenceNumber(int64_t id) const {
  const auto found = std::lower_bound(sequence_numbers.begin(), sequence_numbers.end(), id,
                                      [](const SequenceNumber& s, int64_t i) { return s.id < i; });
  return found != sequence_numbers.end() && found->id == id ? found->seq_num : -1;
}

LazyElements::LazyElements(LazyIndex index, std::unique_ptr<LazyDecoder> unit_decoder, NameIds name_ids,
                           int64_t count, std::function<bool()> changed, std::shared_ptr<const void> owner)
    : units(std::move(index)),
      decoder(std::move(unit_decoder)),
      element_count(count),
      file_changed(std::move(changed)),
      bytes_owner(std::move(owner)) {
  const auto garbage_entry = name_ids.find(std::string(kGarbageName));
  garbage_name_id = garbage_entry == name_ids.end() ? 0 : garbage_entry->second;
  names = std::make_shared<const NameIds>(std::move(name_ids));
  decoder->writer().setKnownNames(names);
}

std::shared_ptr<const DecodedUnit> LazyElements::unit(int64_t unit) {
  std::lock_guard<std::mutex> lock(mutex);
  const auto found = cached.find(unit);
  if (found != cached.end()) {
    recent.splice(recent.begin(), recent, found->second);
    return found->second->second;
  }
  std::shared_ptr<const DecodedUnit> decoded = decode(unit);
  recent.emplace_front(unit, decoded);
  cached[unit] = recent.begin();
  if (recent.size() > cached_units) {
    cached.erase(recent.back().first);
    recent.pop_back();
  }
  return decoded;
}

std::shared_ptr<DecodedUnit> LazyElements::decode(int64_t unit) {
  const LazyUnitPlace place = units.place(unit);
  const int64_t count = units.idCount(unit);
  if (file_changed && file_changed())
    return garbage(unit, place);
  ElementWriter& writer = decoder->writer();
  writer.startCollecting(place);
  decoder->decode(unit, place);
  const RowBlock& rows = writer.collectedRows();
  if (int64_t(rows.rows.size()) != count || writer.metUnknownName() || (file_changed && file_changed()))
    return garbage(unit, place);
  auto decoded = std::make_shared<DecodedUnit>();
  decoded->first_id = place.first_id;
  decoded->rows = rows.rows;
  decoded->sequence_numbers = rows.sequence_numbers;
  decoded->text = rows.text;
  return decoded;
}

std::shared_ptr<DecodedUnit> LazyElements::garbage(int64_t unit, const LazyUnitPlace& place) const {
  auto decoded = std::make_shared<DecodedUnit>();
  decoded->first_id = place.first_id;
  const int64_t count = units.idCount(unit);
  int64_t offset = 0, size = 0;
  decoder->bitRange(unit, &offset, &size);
  const TextSpan note{0, uint32_t(kChangedNote.size())};
  decoded->text.assign(kChangedNote);
  decoded->rows.reserve(size_t(count));
  for (int64_t i = 0; i < count; ++i) {
    BlockRow& row = decoded->rows.emplace_back();
    row.name_id = garbage_name_id;
    row.offset = offset;
    row.hrf_value = note;
    if (i == 0) {
      row.level = place.level;
      row.parent_id = place.parent_id;
      row.size = size;
      row.last_child_id = count > 1 ? place.first_id + count - 1 : 0;
    } else {
      row.level = place.level + 1;
      row.parent_id = place.first_id;
    }
  }
  return decoded;
}

}  // namespace corvanta
