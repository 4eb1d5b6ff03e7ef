// The data of one member: stored bytes copied, compressed bytes decoded. Shared by the
// installer's entry output and by the tools that test archives without installing.
#pragma once
#include <cstdint>
#include <cstdio>

#include "decode/slide_decoder.h"

struct EntryHeader;

// Writes the member's original bytes to `out`; `archive` stands at its data and
// `methodIndex` is a stored or compressed row of the method table. runningCrc holds
// the CRC of every byte written.
DecodeResult extractMemberData(std::FILE* archive, std::FILE* out, const EntryHeader& header,
                               int methodIndex);
