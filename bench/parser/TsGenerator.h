#pragma once

#include <QString>

#include <cstdint>

// Writes a valid transport stream shaped like a broadcast: H.264 video in PES packets of 10 to
// 59 transport packets, the first with a PCR in its adaptation field and a PES header with PTS
// and DTS; AAC audio in PES packets of 2 transport packets with a PTS; PAT and PMT every 100
// packets. The last packet of each PES packet is filled by adaptation field stuffing.
struct TsGenerator {
  int64_t packet_count = 2000000;

  // Returns false when the file cannot be written.
  bool write(const QString& path) const;
};
