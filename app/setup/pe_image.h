// Finds where the stub's own executable image ends in its file: the first byte after
// the raw data of its sections (and of a COFF symbol table, should one be left in).
// The setup block starts there, so a rebuilt stub needs no patched constant.
#pragma once
#include <cstdint>
#include <cstdio>

enum class PeKind { notPe, pe32, pe32plus };

struct PeImageInfo {
    PeKind kind = PeKind::notPe;
    std::uint32_t imageEnd = 0;   // file offset of the first appended byte
    std::uint16_t subsystem = 0;  // 2 = Windows GUI
    // The payload record's area (payload_record.h): file offset, 0 when the image has
    // no such section or it is too small to hold the record.
    std::uint32_t recordOffset = 0;
    // The certificate table a signature adds after the payload (data directory 4: a
    // file offset, not an address); 0 and 0 when unsigned.
    std::uint32_t certificateOffset = 0, certificateSize = 0;
};

// Reads the headers from the start of `stream`; leaves the position undefined. An image
// whose sections or symbols end past the file is no image of ours.
PeImageInfo readPeImageInfo(std::FILE* stream);
