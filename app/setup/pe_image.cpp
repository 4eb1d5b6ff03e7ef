#include "app/setup/pe_image.h"

#include <algorithm>
#include <cstring>

#include "app/setup/payload_record.h"
#include "extract/lha/little_endian.h"

namespace {

bool readAt(std::FILE* f, long offset, void* buffer, std::size_t n) {
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(buffer, 1, n, f) == n;
}


// Windows loads at most 96 sections; a larger count is damage, not a stub of ours.
constexpr std::uint32_t kMaxSections = 96;

// Offsets of the fields read, from the start of their structure.
constexpr long kPeOffsetAt = 0x3C;  // in the MS-DOS header (64 bytes): e_lfanew
// The "PE\0\0" signature, then the COFF file header (20 bytes).
constexpr std::size_t kCoffBytes = 4 + 20;
constexpr std::size_t kSectionCountAt = 4 + 2, kSymbolTableAt = 4 + 8, kSymbolCountAt = 4 + 12,
                      kOptionalSizeAt = 4 + 16;
// The optional header, as far as both PE32 and PE32+ agree: up to Subsystem.
constexpr std::size_t kMagicAt = 0, kHeadersSizeAt = 60, kSubsystemAt = 68;
constexpr std::size_t kOptionalBytes = kSubsystemAt + 2;
constexpr std::uint32_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
// Then NumberOfRvaAndSizes and the data directories (8 bytes each), further on in PE32+,
// whose addresses are 8 bytes wide. Directory 4 is the certificate table.
constexpr std::size_t kDirectoryCountAt32 = 92, kDirectoryCountAt64 = 108;
constexpr std::size_t kDirectoryBytes = 8, kCertificateDirectory = 4;
constexpr std::size_t kOptionalBytesRead = kDirectoryCountAt64 + 4 + 16 * kDirectoryBytes;
// A section header (40 bytes): its name, its data's size and file offset.
constexpr std::size_t kSectionBytes = 40, kRawSizeAt = 16, kRawPointerAt = 20;
// COFF symbols are 18 bytes each; their string table follows, starting with its size.
constexpr std::uint64_t kSymbolBytes = 18;

}  // namespace

PeImageInfo readPeImageInfo(std::FILE* f) {
    PeImageInfo info;
    unsigned char dos[64];
    if (!readAt(f, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return info;
    long peOffset = static_cast<long>(le32(dos + kPeOffsetAt));
    unsigned char coff[kCoffBytes];
    if (peOffset <= 0 || !readAt(f, peOffset, coff, sizeof coff) || coff[0] != 'P' ||
        coff[1] != 'E' || coff[2] || coff[3])
        return info;
    std::uint32_t sections = le16(coff + kSectionCountAt);
    std::uint32_t symbolTable = le32(coff + kSymbolTableAt);
    std::uint32_t symbolCount = le32(coff + kSymbolCountAt);
    std::uint32_t optionalSize = le16(coff + kOptionalSizeAt);
    if (sections == 0 || sections > kMaxSections || optionalSize < kOptionalBytes) return info;

    unsigned char optional[kOptionalBytesRead] = {};
    if (!readAt(f, peOffset + static_cast<long>(kCoffBytes), optional,
                std::min<std::size_t>(optionalSize, sizeof optional)))
        return info;
    std::uint32_t magic = le16(optional + kMagicAt);
    if (magic == kPe32Magic) info.kind = PeKind::pe32;
    else if (magic == kPe32PlusMagic) info.kind = PeKind::pe32plus;
    else return info;
    info.subsystem = static_cast<std::uint16_t>(le16(optional + kSubsystemAt));
    // Only the directories the header says it has, and holds.
    const std::size_t countAt = magic == kPe32Magic ? kDirectoryCountAt32 : kDirectoryCountAt64;
    const std::size_t certificateAt = countAt + 4 + kCertificateDirectory * kDirectoryBytes;
    if (optionalSize >= certificateAt + kDirectoryBytes &&
        le32(optional + countAt) > kCertificateDirectory) {
        info.certificateOffset = le32(optional + certificateAt);
        info.certificateSize = le32(optional + certificateAt + 4);
    }

    std::uint64_t end = le32(optional + kHeadersSizeAt);
    long table = peOffset + static_cast<long>(kCoffBytes + optionalSize);
    for (std::uint32_t i = 0; i < sections; ++i) {
        unsigned char s[kSectionBytes];
        if (!readAt(f, table + static_cast<long>(kSectionBytes * i), s, sizeof s)) {
            info.kind = PeKind::notPe;
            return info;
        }
        std::uint64_t rawSize = le32(s + kRawSizeAt), rawPointer = le32(s + kRawPointerAt);
        if (rawSize) end = std::max(end, rawPointer + rawSize);
        if (std::memcmp(s, kPayloadSectionName, sizeof kPayloadSectionName) == 0 &&
            rawSize >= kPayloadRecordBytes)
            info.recordOffset = static_cast<std::uint32_t>(rawPointer);
    }
    if (symbolTable) {
        std::uint64_t strings = symbolTable + kSymbolBytes * symbolCount;
        unsigned char sizeField[4];
        std::uint64_t stringSize =
            readAt(f, static_cast<long>(strings), sizeField, 4) ? le32(sizeField) : 0;
        end = std::max(end, strings + stringSize);
    }
    // The appended data starts where the image ends: an end past the file is damage.
    if (end > 0x7FFFFFFFu || std::fseek(f, 0, SEEK_END) != 0 ||
        end > static_cast<std::uint64_t>(std::ftell(f))) {
        info.kind = PeKind::notPe;
        return info;
    }
    info.imageEnd = static_cast<std::uint32_t>(end);
    return info;
}
