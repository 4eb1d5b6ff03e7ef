#include "tools/pack/lha_writer.h"

#include <algorithm>
#include <ctime>

#include "decode/crc16.h"
#include "extract/lha/header_layout.h"
#include "extract/lha/little_endian.h"

namespace {

void put16(std::vector<std::uint8_t>& b, unsigned v) { appendLe(b, v, 2); }
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) { appendLe(b, v, 4); }
void putBytes(std::vector<std::uint8_t>& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

// Splits at the last "/": the folder part keeps its separator.
void split(const std::string& name, std::string& dir, std::string& file) {
    std::size_t cut = name.rfind('/');
    dir = cut == std::string::npos ? "" : name.substr(0, cut + 1);
    file = cut == std::string::npos ? name : name.substr(cut + 1);
}

void extendedHeader(std::vector<std::uint8_t>& b, std::uint8_t type, const std::string& data) {
    put16(b, static_cast<unsigned>(data.size() + kExtendedOverhead));
    b.push_back(type);
    putBytes(b, data);
}

std::string withFormatSeparators(std::string dir) {
    for (char& c : dir)
        if (c == '/') c = kDirectorySeparator;
    return dir;
}

}  // namespace

std::uint32_t unixTimeToDosTime(std::uint32_t unixTime, long timezoneSeconds) {
    std::time_t local = static_cast<std::time_t>(unixTime) - timezoneSeconds;
    std::tm t{};
#ifdef _WIN32
    gmtime_s(&t, &local);
#else
    gmtime_r(&local, &t);
#endif
    if (t.tm_year < 80) return (1u << 21) | (1u << 16);  // before 1980: 1980-01-01
    return (static_cast<std::uint32_t>(t.tm_year - 80) << 25) |
           (static_cast<std::uint32_t>(t.tm_mon + 1) << 21) |
           (static_cast<std::uint32_t>(t.tm_mday) << 16) |
           (static_cast<std::uint32_t>(t.tm_hour) << 11) |
           (static_cast<std::uint32_t>(t.tm_min) << 5) | static_cast<std::uint32_t>(t.tm_sec / 2);
}

namespace {

// Level 2: the whole header's length first, the name in extended headers, and a CRC of
// the header itself.
std::vector<std::uint8_t> level2Header(const LhaMember& m, const std::string& dir,
                                       const std::string& file, std::string& error) {
    std::vector<std::uint8_t> h;
    put16(h, 0);  // total length, filled in below
    putBytes(h, std::string(m.method, 5));
    put32(h, packedSize(m));
    put32(h, m.originalSize);
    put32(h, m.modifiedTime);
    h.push_back(kArchiveAttribute);
    h.push_back(2);
    put16(h, m.crc);
    h.push_back(kOsMsDos);
    const std::size_t headerCrcAt = h.size() + kExtendedOverhead;
    extendedHeader(h, kHeaderCrcType, std::string(2, '\0'));  // filled in below
    extendedHeader(h, kFileNameType, file);
    if (!dir.empty()) extendedHeader(h, kDirectoryType, withFormatSeparators(dir));
    put16(h, 0);
    // A low length byte of 0 would read as the archive's end: pad by one byte.
    if ((h.size() & 0xFF) == 0) h.push_back(0);
    if (h.size() > 0xFFFF) {
        error = "header of " + m.name + " is too long";
        return {};
    }
    putLe(&h[0], h.size(), 2);
    putLe(&h[headerCrcAt], crcOf(h.data(), h.size()), 2);
    return h;
}

// Levels 0 and 1: the name in the base header, under a checksum; level 1 puts the folder
// in an extended header and counts extended headers in the packed size.
std::vector<std::uint8_t> level01Header(const LhaMember& m, const std::string& dir,
                                        const std::string& file, std::string& error) {
    std::string baseName = m.name;
    std::vector<std::uint8_t> extended;
    if (m.level == 1) {
        baseName = file;
        if (!dir.empty()) extendedHeader(extended, kDirectoryType, withFormatSeparators(dir));
        put16(extended, 0);
    } else {
        for (char& c : baseName)
            if (c == '/') c = '\\';
    }
    // H = D + N: the fixed fields and the CRC (D = 22), at level 1 also the OS byte and
    // the first extended size (D = 25).
    const std::size_t headerLength = kCrcOnly + baseName.size() + (m.level == 1 ? 3 : 0);
    if (headerLength > 255) {
        error =
            "name " + m.name + " is too long for a level-" + std::to_string(m.level) + " header";
        return {};
    }
    const std::uint32_t packed =
        packedSize(m) + static_cast<std::uint32_t>(extended.size() > 2 ? extended.size() - 2 : 0);
    std::vector<std::uint8_t> h;
    h.push_back(static_cast<std::uint8_t>(headerLength));
    h.push_back(0);  // checksum, below
    putBytes(h, std::string(m.method, 5));
    put32(h, packed);
    put32(h, m.originalSize);
    put32(h, unixTimeToDosTime(m.modifiedTime, 0));
    h.push_back(kArchiveAttribute);
    h.push_back(static_cast<std::uint8_t>(m.level));
    h.push_back(static_cast<std::uint8_t>(baseName.size()));
    putBytes(h, baseName);
    put16(h, m.crc);
    if (m.level == 1) {
        h.push_back(kOsMsDos);
        // The first extended size ends the base header; the bodies follow it.
        h.insert(h.end(), extended.begin(), extended.end());
    }
    h[1] = headerChecksum(h.data(), headerLength);
    return h;
}

}  // namespace

std::vector<std::uint8_t> lhaHeader(const LhaMember& m, std::string& error) {
    std::string dir, file;
    split(m.name, dir, file);
    return m.level == 2 ? level2Header(m, dir, file, error) : level01Header(m, dir, file, error);
}

LhaMember storedMember(const std::string& name, const std::vector<std::uint8_t>& bytes,
                       std::uint32_t modifiedTime, int level) {
    LhaMember m;
    m.name = name;
    m.data = bytes;
    m.originalSize = static_cast<std::uint32_t>(bytes.size());
    m.crc = crcOf(bytes.data(), bytes.size());
    m.modifiedTime = modifiedTime;
    m.level = level;
    return m;
}

LhaMember folderMember(const std::string& name, std::uint32_t modifiedTime, int level) {
    LhaMember m;
    m.name = name;
    std::copy_n("-lhd-", 6, m.method);
    m.modifiedTime = modifiedTime;
    m.level = level;
    return m;
}

bool writeArchive(const std::vector<LhaMember>& members, std::vector<std::uint8_t>& out,
                  std::string& error) {
    std::size_t size = out.size() + 1;
    for (const LhaMember& m : members) size += m.data.size() + 64 + m.name.size();
    out.reserve(size);  // about right: data is most of it
    for (const LhaMember& m : members) {
        if (m.copied) return error = "member " + m.name + " is a copy of a file", false;
        std::vector<std::uint8_t> h = lhaHeader(m, error);
        if (h.empty()) return false;
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), m.data.begin(), m.data.end());
    }
    out.push_back(0);
    return true;
}
