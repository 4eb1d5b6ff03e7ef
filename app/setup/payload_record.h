// The payload record: the length and CRC-32 of everything after the stub's image (the
// setup block and the archive), kept in a reserved section of the stub's own image,
// where a download cut short cannot take it along. vopa-pack writes it in place when
// the installer is complete; the installer checks the payload against it before it
// reads a member. A stub whose record is empty (an installer put together by other
// tools) has nothing to check against.
//
// Layout of the area (32 bytes, little-endian): the magic "VopaPay1", the payload's
// length (8 bytes; 0 = no record), its CRC-32 (4 bytes), then zeros.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// The section's name in the section table (8 bytes: no terminator there).
constexpr char kPayloadSectionName[8] = {'.', 'v', 'o', 'p', 'a', 'p', 'a', 'y'};
constexpr std::size_t kPayloadRecordBytes = 32;
// The stub's area as it is built: the magic and an empty record. Not all zeros, so the
// linker gives it file space instead of leaving it to be zeroed at load time.
#define VOPA_EMPTY_PAYLOAD_RECORD {'V', 'o', 'p', 'a', 'P', 'a', 'y', '1'}

struct PayloadRecord {
    std::uint64_t length = 0;  // 0: not recorded
    std::uint32_t crc = 0;     // CRC-32 of those bytes
};

// False when `area` holds no record area at all (not ours).
bool readPayloadRecord(const unsigned char* area, PayloadRecord& record);
void writePayloadRecord(unsigned char* area, const PayloadRecord& record);

// CRC-32 (reflected 0xEDB88320, as zlib's and the PE world's): from `crc` (0 to start)
// over `data`. Sixteen bytes a step: a payload of 100 MB takes a few hundredths of a second.
std::uint32_t crc32After(std::uint32_t crc, const unsigned char* data, std::size_t length);

// Reads up to `length` bytes of `f` from `start` (to its end, for UINT64_MAX) and returns
// their CRC-32; `read` says how many there were. `onChunk`, when given, hears of each
// chunk's size and stops the read by returning false.
std::uint32_t crc32OfStream(std::FILE* f, std::uint64_t start, std::uint64_t length,
                            std::uint64_t& read, bool (*onChunk)(std::size_t) = nullptr);

// Whether the bytes after an image that ends at `imageEnd` are the payload `record`
// describes: its length and CRC-32 and, when a signature's certificate table follows
// (at `certificateOffset`, 0 for none), nothing between them but the zeros of the
// table's 8-byte alignment. Leaves the stream's position undefined.
bool payloadMatches(std::FILE* f, std::uint64_t imageEnd, const PayloadRecord& record,
                    std::uint64_t certificateOffset, bool (*onChunk)(std::size_t) = nullptr);
