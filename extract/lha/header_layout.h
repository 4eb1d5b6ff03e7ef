// The on-disk layout of LHA member headers (levels 0, 1 and 2), shared by the reader
// and by the packer's writer. All numbers are little-endian.
//
// Levels 0 and 1: byte 0 is H, the header's length after its first two bytes; byte 1
// a checksum of those H bytes; bytes 2..20 the common fields; byte 21 the name length
// N and the name; then the data's CRC-16 and an OS identifier, as D = H - N says
// (kNoCrc, kCrcOnly, kCrcAndOs or more). Level 1 ends the base header with the size of
// its first extended header, and its packed size counts the extended headers.
// Level 2: bytes 0..1 are the whole header's length; the common fields; the CRC-16
// at 21, the OS identifier at 23, and the first extended-header size at 24.
// Extended header: a type byte, its data, then the next one's size (0 after the last);
// the size counts all three.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr std::size_t kMethodAt = 2, kPackedSizeAt = 7, kOriginalSizeAt = 11, kTimeAt = 15,
                      kAttributeAt = 19, kLevelAt = 20;
constexpr std::size_t kCommonBytes = kLevelAt + 1;       // bytes every level has
constexpr std::size_t kNameLengthAt = 21, kNameAt = 22;  // levels 0 and 1
constexpr std::size_t kLevel2CrcAt = 21, kLevel2OsAt = 23, kLevel2ExtendedAt = 24;
constexpr std::size_t kLevel2Minimum = kLevel2ExtendedAt + 2;  // up to the first size field

// D = H - N tells what follows the name: H counts 20 bytes of fixed fields after byte 1
// and the name, then 2 for a CRC, and from D = 24 on the OS byte and more (a level-1
// header has 25, its first extended size included). Level 2 takes its length as D.
constexpr std::size_t kNoCrc = 20, kCrcOnly = 22, kCrcAndOs = 24;

// Extended headers: type byte + data + the next size field.
constexpr std::size_t kExtendedOverhead = 3;
constexpr std::uint8_t kHeaderCrcType = 0x00, kFileNameType = 0x01, kDirectoryType = 0x02,
                       kDosAttributeType = 0x40, kSize64Type = 0x42;
// What the packer writes of the fields the installer does not use: the MS-DOS
// "archive" attribute, and the OS identifier of MS-DOS, as Windows archivers write.
constexpr std::uint8_t kArchiveAttribute = 0x20, kOsMsDos = 'M';
// Archivers of OS-9 ('9') and of OS-9/68K ('K') write level-2 lengths 2 short.
constexpr bool countsLevel2Short(std::uint8_t osId) { return osId == '9' || osId == 'K'; }
// Old archives pad their end with these (the MS-DOS end-of-file byte).
constexpr int kEndOfFilePadding = 0x1A;
// Components of a directory extended header are separated by this byte.
constexpr char kDirectorySeparator = static_cast<char>(0xFF);

// The level 0/1 checksum: the low byte of the sum of header bytes 2..H+1.
inline std::uint8_t headerChecksum(const std::uint8_t* header, std::size_t headerLength) {
    unsigned sum = 0;
    for (std::size_t i = 2; i < headerLength + 2; ++i) sum += header[i];
    return static_cast<std::uint8_t>(sum);
}
