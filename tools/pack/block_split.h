// Where a run of codes is cut into blocks. Each block pays for its own code tables and
// fits its own part of the data: a file's parts differ (a DLL's code, tables and
// resources; a header's comment and declarations) more than the tables cost.
#pragma once
#include <cstddef>
#include <vector>

#include "tools/pack/block_writer.h"

// Cuts fall on 1/kSplitParts of the codes, parts of at least kSplitPartCodes.
constexpr std::size_t kSplitParts = 16, kSplitPartCodes = 128;

// The ends (in codes) of the blocks that `n` codes (1 to kMaxBlockCodes) cost the fewest
// bits in, by an estimate from their counts; the last end is `n`.
std::vector<std::size_t> blockEnds(const Code* codes, std::size_t n, unsigned positionSymbols);
