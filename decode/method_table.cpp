// The method table: the twelve identifiers of the format in method-index order, and
// the decode loop of each compressed one.
#include <cstring>

#include "decode/lha_format.h"
#include "decode/methods.h"

const DecodeMethod kMethodTable[kMethodCount] = {
    {"-lh0-", MemberKind::stored, 0, nullptr},
    {"-lh1-", MemberKind::compressed, 12, decodeLh1},
    {"-lh2-", MemberKind::compressed, 13, decodeLh2},
    {"-lh3-", MemberKind::compressed, 13, decodeLh3},
    {"-lh4-", MemberKind::compressed, 12, decodeStaticHuffman},
    {"-lh5-", MemberKind::compressed, 13, decodeStaticHuffman},
    {"-lh6-", MemberKind::compressed, 15, decodeStaticHuffman},
    {"-lh7-", MemberKind::compressed, 16, decodeStaticHuffman},
    {"-lzs-", MemberKind::compressed, 11, decodeLzs},
    {"-lz5-", MemberKind::compressed, 12, decodeLz5},
    {"-lz4-", MemberKind::stored, 0, nullptr},
    {"-lhd-", MemberKind::folder, 0, nullptr},
};

int findMethod(const char* identifier) {
    for (int i = 0; i < kMethodCount; ++i)
        if (std::memcmp(identifier, kMethodTable[i].identifier, 5) == 0) return i;
    return -1;
}
