#pragma once

#include "formats/riff/RiffWalk.h"

#include <cstdint>
#include <unordered_map>

namespace corvanta::riff {

// AVI: the headers of hdrl and strl, the OpenDML indexes, idx1 and the frames of movi.

// The key-frame verdicts of idx1 and of every ix## index, by the file offset of the chunk
// each entry names, gathered before the walk writes the frames that come before the indexes.
// Also sets walk.state.idx1_base.
std::unordered_map<int64_t, bool> aviKeyFrames(RiffWalk& walk);

// The decoder of a chunk that AVI names by pattern ("00dc", "01wb", "ix00"), or null.
ChunkDecoder aviPatternDecoder(uint32_t id, uint32_t parent_type);

// The number (from 0) of a frame chunk within its stream, counted as the walk meets it; -1 for
// any other chunk.
int64_t nextAviFrameNumber(RiffWalk& walk, const Chunk& chunk);

// Adds a frame chunk of movi, written as element `element_id`, to the frames table (after
// nextAviFrameNumber counted it).
void aviFrameTiming(RiffWalk& walk, const Chunk& chunk, int64_t element_id);

std::string aviMainHeader(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aviStreamHeader(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aviStreamFormat(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aviVideoProperties(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aviExtendedHeader(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aviIndex(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aviOldIndex(RiffWalk& walk, const Chunk& chunk, FieldReader& f);

}  // namespace corvanta::riff
