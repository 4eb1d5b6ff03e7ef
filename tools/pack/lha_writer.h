// Writes LHA member headers (levels 0, 1 and 2) and whole archives: used by vopa-pack
// and by the tests that craft archives.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LhaMember {
    std::string name;  // code page 932 bytes, "/" separators; folders end in "/"
    char method[6] = "-lh0-";
    std::vector<std::uint8_t> data;  // the member's packed data as stored
    std::uint32_t originalSize = 0;
    std::uint16_t crc = 0;           // CRC-16 of the original bytes
    std::uint32_t modifiedTime = 0;  // seconds since 1970, UTC
    int level = 2;
    // Stored as a copy of its file, which is read again when the archive is written:
    // `data` stays empty and the packed size is the original size.
    bool copied = false;
};

inline std::uint32_t packedSize(const LhaMember& m) {
    return m.copied ? m.originalSize : static_cast<std::uint32_t>(m.data.size());
}

// Header bytes of one member, or an empty vector with `error` set when the member
// cannot be written at this level (a name too long for the header, for example).
std::vector<std::uint8_t> lhaHeader(const LhaMember& member, std::string& error);

// A stored (-lh0-) member of `bytes`, with its CRC.
LhaMember storedMember(const std::string& name, const std::vector<std::uint8_t>& bytes,
                       std::uint32_t modifiedTime = 0, int level = 2);
LhaMember folderMember(const std::string& name, std::uint32_t modifiedTime = 0, int level = 2);

// Headers and data of all members, then the archive's closing 0 byte; refuses copied
// members (the packer writes those).
bool writeArchive(const std::vector<LhaMember>& members, std::vector<std::uint8_t>& out,
                  std::string& error);

// MS-DOS date and time of a UTC time for a zone `timezoneSeconds` west of Greenwich.
std::uint32_t unixTimeToDosTime(std::uint32_t unixTime, long timezoneSeconds);
