// The compressor of vopa-pack: LZ77 (hash chains with lazy matching, or a binary tree
// with price-based optimal parsing) written in the static-Huffman block format of
// -lh5-, -lh6- and -lh7- (the format our decoder reads).
//
// A member is packed in independent pieces, each primed with the window before it, so
// that threads can share a large member. How a member is cut depends on its size alone:
// the bytes never depend on the machine or on the number of threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/pack/block_writer.h"
#include "tools/pack/match_finder.h"

struct CompressOptions {
    int windowBits = 16;  // 13 (-lh5-), 15 (-lh6-), 16 (-lh7-)
    int level = 6;        // 1 (fast) .. 9 (thorough)
};

std::size_t pieceCount(std::size_t size);
std::size_t pieceLength(std::size_t size, std::size_t piece);  // input bytes of the piece
// The bits of piece `piece` of the member `data`, found in `tables` (one per thread).
BitWriter compressPiece(const std::uint8_t* data, std::size_t size, std::size_t piece,
                        const CompressOptions& options, FinderTables& tables);
// The member's packed data: its pieces' bits one after another.
std::vector<std::uint8_t> joinPieces(const std::vector<BitWriter>& pieces);

// Packed data for `input`, all pieces on this thread; the caller picks -lh0- when it
// does not shrink.
std::vector<std::uint8_t> compressLha(const std::uint8_t* input, std::size_t size,
                                      const CompressOptions& options);
