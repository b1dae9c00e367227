#pragma once

#include <string>

namespace corvanta::matroska {

struct ElementHeader;
struct Scope;
struct ValueContext;

// How many children a master turned out to have.
struct ChildCounts {
  int elements = 0;  // every child element
  int content = 0;   // without Void and CRC-32
  int blocks = 0;    // SimpleBlock, BlockGroup and EncryptedBlock
};

// The summary of a master element once its children are written: what a person scans the tree
// for ("Track 1, video, V_VP9, 320x240", "timestamp 0:00:01.000, 25 blocks", "Cues at 12345").
// `scope` is the master's own scope, with its look-ahead facts.
std::string masterSummary(const ElementHeader& h, const Scope& scope, const ChildCounts& counts,
                          const ValueContext& context);

}  // namespace corvanta::matroska
