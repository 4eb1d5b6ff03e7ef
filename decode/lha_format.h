// Facts of the LHA compressed formats, shared by the decoder and by the packer's
// writer: the method identifiers with their dictionary sizes, and the layout of the
// static-Huffman blocks of -lh4- to -lh7-.
#pragma once
#include <cstdint>

struct SlideDecoder;
enum class DecodeResult;

// --- methods, in method-index order

enum class MemberKind : std::uint8_t { stored, compressed, folder };

struct DecodeMethod {
    char identifier[6];  // five characters, e.g. "-lh5-"
    MemberKind kind;
    std::uint8_t windowBits;             // log2 of the dictionary size (compressed only)
    DecodeResult (*run)(SlideDecoder&);  // the method's decode loop (compressed only)
};

constexpr int kMethodCount = 12;
constexpr int kFolderMethod = 11;  // "-lhd-"
extern const DecodeMethod kMethodTable[kMethodCount];

// Position of the five-byte identifier in the table, or -1.
int findMethod(const char* identifier);

// --- static-Huffman blocks (-lh4- to -lh7-)
//
// A block: a 16-bit count of codes (0 stands for 65,536), then three canonical codes
// sent as code lengths — the code of the code lengths, the literal/length code, the
// position code — then the codes. A literal/length symbol below 256 is a byte; symbol
// 256 + k is a match of kMinMatch + k bytes, followed by its position.

constexpr unsigned kBlockCountBits = 16;
constexpr unsigned kMinMatch = 3, kMaxMatch = 256;
constexpr unsigned kLiteralSymbols = 256 + kMaxMatch - kMinMatch + 1;
static_assert(kLiteralSymbols == 510, "the literal/length alphabet of the format");
constexpr unsigned kMaxCodeLength = 16;

// Code lengths of the literal/length code go through a code of their own: symbols 0..2
// stand for runs of zero lengths, symbol 2 + n for the length n.
constexpr unsigned kZeroRunSymbols = 3;
constexpr unsigned kLengthCodeSymbols = kZeroRunSymbols + kMaxCodeLength;
static_assert(kLengthCodeSymbols == 19, "the code-length alphabet of the format");
// Symbol 0 is one zero; symbols 1 and 2 take a count of more zeros in extra bits.
constexpr unsigned kShortZeroRunBits = 4, kShortZeroRunBase = 3;  // symbol 1: 3..18 zeros
constexpr unsigned kLongZeroRunBits = 9, kLongZeroRunBase = 20;   // symbol 2: 20..531 zeros
constexpr unsigned kShortZeroRunMost = kShortZeroRunBase + (1u << kShortZeroRunBits) - 1;
constexpr unsigned kLongZeroRunMost = kLongZeroRunBase + (1u << kLongZeroRunBits) - 1;
constexpr unsigned kLiteralCountBits = 9;  // literal/length lengths sent (510 < 2^9)

// The code-length and position codes use the "small" length format: 0..6 in three
// bits, 7 and more as 111, (length - 7) one bits and a zero. The length code's list
// holds, after its third entry, a 2-bit count of zero lengths that follow.
constexpr unsigned kSmallLengthBits = 3;
constexpr unsigned kLengthCodeCountBits = 5;  // 19 < 2^5
constexpr unsigned kLengthCodeZeroRunAfter = 3;
constexpr unsigned kLengthCodeZeroRunBits = 2;

// A position is the match distance - 1. It is sent as its bit length j (the position
// symbol), then, for j > 1, its j - 1 bits below the leading one.
constexpr unsigned positionSymbol(unsigned position) {
    return position ? 32 - static_cast<unsigned>(__builtin_clz(position)) : 0;
}
// Symbols 0..windowBits cover every distance of a window; windows of up to 16 KiB
// (-lh4-, -lh5-) all send 14 symbols, with a 4-bit count.
constexpr unsigned positionSymbolCount(unsigned windowBits) {
    return windowBits <= 14 ? 14 : windowBits + 1;
}
constexpr unsigned positionCountBits(unsigned windowBits) {
    return positionSymbolCount(windowBits) < 16 ? 4 : 5;
}
constexpr unsigned kMaxWindowBits = 16;
constexpr unsigned kMaxPositionSymbols = positionSymbolCount(kMaxWindowBits);
static_assert(positionSymbol((1u << kMaxWindowBits) - 1) < kMaxPositionSymbols,
              "the largest distance has a symbol");
