// The compressor of vopa-pack: LZ77 (hash chains with lazy matching, or a binary tree
// with price-based optimal parsing) written in the static-Huffman block format of
// -lh5-, -lh6- and -lh7- (the format our decoder reads).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct CompressOptions {
    int windowBits = 16;  // 13 (-lh5-), 15 (-lh6-), 16 (-lh7-)
    int level = 6;        // 1 (fast) .. 9 (thorough)
    int threads = 0;      // 0: one per processor; the output is the same for any number
};

// Packed data for `input`; the caller picks -lh0- when it does not shrink.
std::vector<std::uint8_t> compressLha(const std::uint8_t* input, std::size_t size,
                                      const CompressOptions& options);
