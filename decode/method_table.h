// The twelve method identifiers of the archive format, in method-index order, with
// what the output side does for each and the decoding row of compressed ones.
#pragma once
#include <cstdint>

#include "decode/slide_decoder.h"

enum class MemberKind : std::uint8_t { stored, compressed, folder };

struct DecodeMethod {
    char identifier[6];  // five characters, e.g. "-lh5-"
    MemberKind kind;
    std::uint8_t windowBits;             // log2 of the dictionary size (compressed only)
    DecodeResult (*run)(SlideDecoder&);  // the method's decode loop (compressed only)
};

constexpr int kMethodCount = 12;
constexpr int kFolderMethod = 11;
extern const DecodeMethod kMethodTable[kMethodCount];

// Position of the five-byte identifier in the table, or -1.
int findMethod(const char* identifier);
