#include "app/pe_image.h"

#include <algorithm>

namespace {

bool readAt(std::FILE* f, long offset, void* buffer, std::size_t n) {
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(buffer, 1, n, f) == n;
}

std::uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Windows loads at most 96 sections; a larger count is damage, not a stub of ours.
constexpr std::uint32_t kMaxSections = 96;

}  // namespace

PeImageInfo readPeImageInfo(std::FILE* f) {
    PeImageInfo info;
    unsigned char dos[64];
    if (!readAt(f, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return info;
    long peOffset = static_cast<long>(le32(dos + 0x3C));
    unsigned char coff[24];  // signature + file header
    if (peOffset <= 0 || !readAt(f, peOffset, coff, sizeof coff) || coff[0] != 'P' ||
        coff[1] != 'E' || coff[2] || coff[3])
        return info;
    std::uint32_t sections = le16(coff + 6);
    std::uint32_t symbolTable = le32(coff + 12);
    std::uint32_t symbolCount = le32(coff + 16);
    std::uint32_t optionalSize = le16(coff + 20);
    if (sections == 0 || sections > kMaxSections || optionalSize < 70) return info;

    unsigned char optional[72];
    if (!readAt(f, peOffset + 24, optional, sizeof optional)) return info;
    std::uint32_t magic = le16(optional);
    if (magic == 0x10B) info.kind = PeKind::pe32;
    else if (magic == 0x20B) info.kind = PeKind::pe32plus;
    else return info;
    info.subsystem = static_cast<std::uint16_t>(le16(optional + 68));

    std::uint64_t end = le32(optional + 60);  // SizeOfHeaders
    long table = peOffset + 24 + static_cast<long>(optionalSize);
    for (std::uint32_t i = 0; i < sections; ++i) {
        unsigned char s[40];
        if (!readAt(f, table + 40 * static_cast<long>(i), s, sizeof s)) {
            info.kind = PeKind::notPe;
            return info;
        }
        std::uint64_t rawSize = le32(s + 16), rawPointer = le32(s + 20);
        if (rawSize) end = std::max(end, rawPointer + rawSize);
    }
    if (symbolTable) {
        // Symbols (18 bytes each) are followed by a string table that starts with its size.
        std::uint64_t strings = symbolTable + 18ull * symbolCount;
        unsigned char sizeField[4];
        std::uint64_t stringSize =
            readAt(f, static_cast<long>(strings), sizeField, 4) ? le32(sizeField) : 0;
        end = std::max(end, strings + stringSize);
    }
    if (end > 0x7FFFFFFFu) {
        info.kind = PeKind::notPe;
        return info;
    }
    info.imageEnd = static_cast<std::uint32_t>(end);
    return info;
}
