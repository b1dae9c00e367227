#pragma once

#include "FieldReader.h"
#include "PieceWriter.h"
#include "codecs/AnnexB.h"
#include "codecs/AnnexBCarriageState.h"
#include "codecs/NalVideoStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::codecs {

// An H.264 or H.265 byte stream that a container carries in the payloads of its units (transport
// packets, PES packets): each NAL unit is written under the carriers that hold its bytes, piece by
// piece, each piece marked as continued, with every decoded field in the piece that holds its bits.
// The NAL unit whose pieces are not all written yet is the state carried from carrier to carrier.
class AnnexBCarriage {
 public:
  // Sets `begin` and `end` to the payload of the next carrier of the stream in file order; false
  // when the stream ends or breaks off there (a lost packet).
  using NextPayload = std::function<bool(int64_t& begin, int64_t& end)>;

  AnnexBCarriage(bool hevc, std::string_view carrier) : stream(hevc, NalVideoStream::Framing::StartCodes), carrier_name(carrier) {}

  // Writes what of the stream lies in [begin, end), one carrier's payload, into the unit that is
  // open. `more` gives the payloads that follow, for a NAL unit that runs past this one.
  // `continues`: this payload continues the one written before (no carrier was lost between).
  void writePayload(ElementWriter& w, const uint8_t* data, int64_t begin, int64_t end, bool continues,
                    const NextPayload& more);

  // The lazy path's shortcut for a payload whose elements follow without decoding: the next piece
  // of a NAL unit that goes on past it (counted from what the decoder wrote for the unit's first
  // piece), or bytes without a start code where no NAL unit is under way. Returns how many
  // elements writePayload would write for [begin, end), with their names interned in `w`, or -1
  // when the payload must be written; countedPayload then changes the state as writePayload would.
  int64_t countPayload(ElementWriter& w, const uint8_t* data, int64_t begin, int64_t end) const;
  void countedPayload(int64_t begin, int64_t end);

  // The picture type of the access unit that starts in [begin, end) and runs on through `more`:
  // its slice headers decoded without writing anything. Empty when no slice is found.
  FramePicture peekPicture(const uint8_t* data, int64_t begin, int64_t end, const NextPayload& more);

  // The state before the next carrier, to go on from there later. The copy of the decoder is
  // shared with the state saved before while the decoder did not change; copies that change
  // more often than the stream's own bytes can pay for are not kept (the state's decoder is null).
  AnnexBCarriageState save();
  // Goes on from a saved state whose decoder is not null. `more` gives the payloads after the one
  // where the NAL unit under way began, as writePayload was given them there.
  void restore(const AnnexBCarriageState& saved, const uint8_t* data, const NextPayload& more);
  // Where the NAL unit whose pieces are not all written yet begins in the file, -1 for none.
  int64_t gatheringFrom() const { return current.pending() ? current.pieces.front().file_begin : -1; }

 private:
  // A NAL unit copied out of its carriers, and where each carrier's piece of it lies.
  struct GatheredNal {
    std::vector<uint8_t> copy;    // from its start code to the next start code
    std::vector<Piece> pieces;
    AnnexBNalUnit nal;            // in the copy's coordinates
    size_t next_piece = 0;        // the first piece not written yet
    int64_t seq = 0;
    RbspScan scan;                // its emulation prevention bytes, found at the first piece

    bool pending() const { return next_piece < pieces.size(); }
  };

  // The payloads after the carrier being written, fetched from `more` once and kept, since each
  // NAL unit that starts in the carrier looks at them from the first on.
  class Lookahead {
   public:
    explicit Lookahead(const NextPayload* more) : more(more) {}
    bool payload(size_t i, int64_t& begin, int64_t& end);

   private:
    const NextPayload* more;
    std::vector<std::pair<int64_t, int64_t>> fetched;
    bool ended = false;
  };

  // Copies the NAL unit whose start code begins at `start` in [start, end), and its pieces in the
  // payloads that follow, up to the next start code or `max_bytes`. True when the next start
  // code was found (the next NAL unit begins where this one ends).
  static bool gather(const uint8_t* data, int64_t start, int64_t end, Lookahead& after, int64_t max_bytes,
                     GatheredNal& out);
  void writePiece(ElementWriter& w, GatheredNal& unit);
  // Bytes of the stream that no start code before them in the file introduces.
  static void writeStrayBytes(ElementWriter& w, int64_t begin, int64_t end, std::string_view why);

  NalVideoStream stream;
  std::string_view carrier_name;
  GatheredNal current;
  // What the decoder wrote for the first piece of `current` when it has more: valid while
  // `current_events` is set.
  std::vector<PieceEvent> piece_events;
  bool current_events = false;
  bool at_start_code = false;  // the next payload's bytes begin with the start code `current` ended at
  int64_t count = 0;           // NAL units so far
  // The decoder copy saved last, at its state version; bytes of the stream and of copies so far.
  std::shared_ptr<const NalVideoStream> saved_decoder;
  uint64_t saved_version = 0;
  int64_t carried_bytes = 0, copied_bytes = 0;
};

}  // namespace corvanta::codecs
