#pragma once

#include "formats/riff/RiffWalk.h"

namespace corvanta::riff {

// WAVE (and RF64/BW64): the format, the sample data counted rather than listed, the 64-bit
// sizes, Broadcast Wave, cue points, sampler and instrument chunks, cue labels.
std::string waveFormat(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveFact(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveData(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveDs64(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveBext(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveCue(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveSampler(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveInstrument(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveLabel(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string waveLabeledText(RiffWalk& walk, const Chunk& chunk, FieldReader& f);

// "1234 sample frames, 0.154250 s" for `bytes` of sample data in frames of `block_align`
// bytes at `rate` per second; empty when either is 0.
std::string sampleFramesText(uint64_t bytes, uint64_t block_align, uint64_t rate);

}  // namespace corvanta::riff
