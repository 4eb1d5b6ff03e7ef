// Member headers of the LHA archive (levels 0, 1 and 2): method, sizes, time stamp,
// CRC-16 and the member's path with "/" separators.
#pragma once
#include <cstdint>
#include <cstdio>

#include "extract/lha/path_text.h"

struct EntryHeader {
    std::uint16_t headerSize;  // byte 0 (levels 0, 1) or the 16-bit length (level 2)
    char method[6];            // five characters, NUL-terminated
    std::uint32_t packedSize;  // data only (level 1: extended headers taken off)
    std::uint32_t originalSize;
    std::uint32_t rawTime;   // MS-DOS stamp (levels 0, 1) or seconds since 1970
    std::uint8_t attribute;  // MS-DOS attribute; carried, not applied
    std::uint8_t level;
    char name[kPathCapacity];  // code page 932, "/" separators
    bool nameTooLong;          // the joined name did not fit `name`: fail the member
    std::uint16_t crc;
    bool hasCrc;
    std::uint8_t osId;           // 0 when the header has none
    std::uint32_t modifiedTime;  // seconds since 1970, UTC
    // The sizes as the 64-bit size extended header gives them, else the fields above:
    // a member of 2 GiB or more is refused by its true size, and skipped by it.
    std::uint64_t fullPackedSize, fullOriginalSize;
};

enum class HeaderRead {
    member,     // a header was read; the stream stands at the member's data
    end,        // a 0 byte or the end of the file where a header would start
    truncated,  // the file ends inside a header
    damaged,    // the header's checksum or CRC does not match: it cannot be trusted
    unknown,    // a layout the format does not have: "Unknown header"
};

// Reads the next header. `timezoneSeconds` is the local standard-time offset
// (seconds to add to local time for UTC) used for MS-DOS stamps.
HeaderRead readEntryHeader(std::FILE* stream, EntryHeader& header, long timezoneSeconds);

// Seconds since 1970 (UTC) of an MS-DOS date-time taken as local standard time.
std::uint32_t dosTimeToUnixTime(std::uint32_t stamp, long timezoneSeconds);

// Every "\", "/" and 0xFF that is not a second byte (archive lead bytes) becomes
// `separator`.
void replaceSeparators(char* text, char separator);
