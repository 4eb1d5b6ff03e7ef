#include "extract/lha/entry_header.h"

#include <cstring>
#include <vector>

#include "decode/crc16.h"
#include "extract/lha/archive_check.h"
#include "extract/lha/header_layout.h"
#include "extract/lha/little_endian.h"

namespace {


bool readExactly(std::FILE* f, std::uint8_t* to, std::size_t n) {
    return n == 0 || std::fread(to, 1, n, f) == n;
}

// Bytes a header may occupy: a level-2 length is 16 bits; level-1 extended headers
// are bounded by the same buffer.
constexpr std::size_t kHeaderBuffer = 65536;
// An OS-9 header counted 2 bytes short may run 2 bytes past the largest length.
constexpr std::size_t kOs9Shortfall = 2;

// What the day count below (year * 365, leap days since 1969, days before the month,
// day of the month from 1) gives for 1970-01-01: taken off, so that day is 0.
constexpr long kDaysTo1970 = 1970 * 365 + 1;

}  // namespace

void replaceSeparators(char* text, char separator) {
    replaceCharacters(text, LeadBytes::archive, "\\/\xFF", separator);
}

std::uint32_t dosTimeToUnixTime(std::uint32_t t, long timezoneSeconds) {
    if (t == 0) return 0;
    static const int cumulative[16] = {0,   0,   31,  59,  90,  120, 151, 181,
                                       212, 243, 273, 304, 334, 365, 365, 365};
    long second = (t & 0x1F) * 2, minute = (t >> 5) & 0x3F, hour = (t >> 11) & 0x1F;
    long day = (t >> 16) & 0x1F, month = (t >> 21) & 0x0F, year = ((t >> 25) & 0x7F) + 1980;
    // Month 0 counts as January and 13..15 as the year's end: stamps stay monotonic.
    long days = year * 365 + (year - 1969) / 4 + cumulative[month] + day - kDaysTo1970;
    if (year % 4 == 0 && month >= 3) ++days;
    long long seconds = ((days * 24LL + hour) * 60 + minute) * 60 + timezoneSeconds + second;
    return static_cast<std::uint32_t>(seconds);
}

namespace {

// Old archives end with a run of 0x1A bytes: the end, when nothing else follows.
bool onlyPaddingFollows(std::FILE* in) {
    const std::uint64_t at = tellStream(in);
    int c;
    while ((c = std::fgetc(in)) == kEndOfFilePadding) {}
    if (c == EOF) return true;
    seekStream(in, at);
    return false;
}

// Where the name's two parts lie in the header buffer; absent parts are empty.
struct NameParts {
    const std::uint8_t* file = nullptr;
    std::size_t fileLength = 0;
    const std::uint8_t* dir = nullptr;
    std::size_t dirLength = 0;
};

// Byte 0 is `first`: reads the rest of the base header (level 2: the whole header) into
// `b`, and sets `total` to its length.
HeaderRead readBaseHeader(std::FILE* in, int first, std::uint8_t* b, std::size_t& total) {
    b[0] = static_cast<std::uint8_t>(first);
    // A 0 byte ends the archive, unless it is the low byte of a level-2 length of
    // 256 * k bytes: then a level-2 header follows it, method and all.
    const bool got = readExactly(in, b + 1, kCommonBytes - 1);
    if (first == 0 &&
        (!got || b[kLevelAt] != 2 || b[1] == 0 || b[kMethodAt] != '-' || b[kMethodAt + 4] != '-'))
        return HeaderRead::end;
    if (!got) return HeaderRead::truncated;
    const unsigned level = b[kLevelAt];
    if (level == 0 || level == 1) {
        total = static_cast<std::size_t>(b[0]) + 2;
        if (total <= kNameLengthAt) return HeaderRead::unknown;  // no room for the name length
    } else if (level == 2) {
        total = le16(b);
        if (total < kLevel2Minimum) return HeaderRead::unknown;
    } else {
        return HeaderRead::unknown;
    }
    if (!readExactly(in, b + kCommonBytes, total - kCommonBytes)) return HeaderRead::truncated;
    if (level != 2 && headerChecksum(b, b[0]) != b[1]) return HeaderRead::damaged;
    return HeaderRead::member;
}

// The fields every level has, the name of levels 0 and 1, and the CRC and OS byte as
// D = H - N places them.
HeaderRead takeBaseFields(const std::uint8_t* b, std::size_t total, EntryHeader& h,
                          NameParts& name) {
    const unsigned level = b[kLevelAt];
    h.headerSize = static_cast<std::uint16_t>(level == 2 ? total : b[0]);
    std::memcpy(h.method, b + kMethodAt, 5);
    h.packedSize = le32(b + kPackedSizeAt);
    h.originalSize = le32(b + kOriginalSizeAt);
    h.rawTime = le32(b + kTimeAt);
    h.attribute = b[kAttributeAt];
    h.level = static_cast<std::uint8_t>(level);
    h.fullPackedSize = h.packedSize;
    h.fullOriginalSize = h.originalSize;

    const std::size_t headerLength = h.headerSize;  // H
    std::size_t nameLength = 0;
    if (level != 2) {
        nameLength = b[kNameLengthAt];
        if (kNameAt + nameLength > total) return HeaderRead::unknown;
        name.file = b + kNameAt;
        name.fileLength = nameLength;
    }
    const std::size_t d = headerLength - nameLength;
    const std::size_t crcAt = level == 2 ? kLevel2CrcAt : kNameAt + nameLength;
    if (d >= kCrcAndOs) {
        h.crc = le16(b + crcAt);
        h.osId = b[crcAt + 2];
        h.hasCrc = true;
    } else if (d == kCrcOnly) {
        h.crc = le16(b + crcAt);
        h.hasCrc = true;
    } else if (d != kNoCrc) {
        return HeaderRead::unknown;
    }
    return HeaderRead::member;
}

// Levels 1 and 2: the extended headers, which level 1 reads from the stream behind its
// base header and level 2 holds within its length (`total`). Sets the sizes they give.
HeaderRead walkExtendedHeaders(std::FILE* in, std::uint8_t* b, std::size_t total,
                               EntryHeader& h, NameParts& name) {
    const unsigned level = h.level;
    std::uint64_t size64[2] = {h.packedSize, h.originalSize};
    std::size_t headerCrcAt = 0;  // where a level-2 header keeps its own CRC, if it does
    std::size_t cursor = level == 1 ? h.headerSize : kLevel2ExtendedAt;  // a size field
    std::size_t filled = total;                                          // bytes in the buffer
    std::uint64_t extendedTotal = 0;
    for (;;) {
        std::size_t size = le16(b + cursor);
        if (size == 0) break;
        // Type byte plus the next size field: anything shorter cannot be walked.
        if (size < kExtendedOverhead) return HeaderRead::unknown;
        std::size_t start = cursor + 2;
        if (level == 1) {
            if (start + size > kHeaderBuffer) return HeaderRead::unknown;
            if (!readExactly(in, b + start, size)) return HeaderRead::truncated;
            filled = start + size;
            extendedTotal += size;
        } else if (start + size > filled) {
            // More than the header length holds: damage, except that OS-9's archivers
            // (on 68K too) count level-2 headers 2 bytes short, so the last size field
            // lies past the length. Taken only from them, and only when those 2 bytes
            // end it.
            if (!countsLevel2Short(h.osId) || start + size != filled + kOs9Shortfall)
                return HeaderRead::unknown;
            if (!readExactly(in, b + filled, kOs9Shortfall)) return HeaderRead::truncated;
            filled += kOs9Shortfall;
            if (le16(b + filled - 2) != 0) return HeaderRead::unknown;
        }
        const std::uint8_t type = b[start];
        const std::uint8_t* data = b + start + 1;
        std::size_t dataLength = size - kExtendedOverhead;
        if (type == kFileNameType) {
            name.file = data;
            name.fileLength = dataLength;
        } else if (type == kDirectoryType) {
            name.dir = data;
            name.dirLength = dataLength;
        } else if (type == kDosAttributeType && dataLength >= 1 &&
                   (h.osId == 'M' || h.osId == 'H' || h.osId == 0)) {
            h.attribute = data[0];
        } else if (type == kSize64Type && dataLength >= 16) {
            size64[0] = le64(data);
            size64[1] = le64(data + 8);
        } else if (type == kHeaderCrcType && dataLength >= 2 && level == 2) {
            headerCrcAt = start + 1;
        }
        cursor = start + size - 2;
    }
    if (headerCrcAt) {
        // The CRC-16 of the whole header, taken with its own field as zeros.
        const std::uint16_t stored = le16(b + headerCrcAt);
        b[headerCrcAt] = b[headerCrcAt + 1] = 0;
        if (crcOf(b, filled) != stored) return HeaderRead::damaged;
    }
    if (level == 1) {
        // The level-1 packed size counts the extended headers; a total above it is
        // damage (the data would start before the headers end).
        if (extendedTotal > size64[0]) return HeaderRead::unknown;
        size64[0] -= extendedTotal;
    }
    h.fullPackedSize = size64[0];
    h.fullOriginalSize = size64[1];
    h.packedSize = static_cast<std::uint32_t>(size64[0]);
    h.originalSize = static_cast<std::uint32_t>(size64[1]);
    return HeaderRead::member;
}

// Directory part, then file-name part, both as raw bytes up to any NUL, with "/"
// separators.
void joinName(EntryHeader& h, NameParts name) {
    auto cut = [](const std::uint8_t* p, std::size_t n) {
        const void* nul = p ? std::memchr(p, 0, n) : nullptr;
        return nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - p) : n;
    };
    name.dirLength = cut(name.dir, name.dirLength);
    name.fileLength = cut(name.file, name.fileLength);
    if (name.dirLength + name.fileLength >= sizeof h.name) {
        // Kept cut, for the message only: the member is refused, never written.
        h.nameTooLong = true;
        if (name.dirLength >= sizeof h.name) name.dirLength = sizeof h.name - 1;
        name.fileLength = sizeof h.name - 1 - name.dirLength;
    }
    if (name.dirLength) std::memcpy(h.name, name.dir, name.dirLength);
    h.name[name.dirLength] = '\0';
    replaceSeparators(h.name, '/');  // 0xFF separates components of the directory part
    if (name.fileLength) std::memcpy(h.name + name.dirLength, name.file, name.fileLength);
    h.name[name.dirLength + name.fileLength] = '\0';
    // A "\" left in the name separates too, unless it is a character's second byte. (A
    // lead byte before a byte that cannot follow one counts as a character of its own;
    // "\" can follow one, so whether the walk pairs such bytes changes nothing here.)
    replaceCharacters(h.name, LeadBytes::archive, "\\", '/');
}

}  // namespace

HeaderRead readEntryHeader(std::FILE* in, EntryHeader& h, long timezoneSeconds) {
    std::memset(&h, 0, sizeof h);
    int first = std::fgetc(in);
    if (first == EOF) return HeaderRead::end;
    if (first == kEndOfFilePadding && onlyPaddingFollows(in)) return HeaderRead::end;

    // Name parts point into the buffer; lengths are checked against what was read.
    std::vector<std::uint8_t> buffer(kHeaderBuffer + kOs9Shortfall);
    std::size_t total = 0;  // bytes of the base header (level 2: of the whole header)
    NameParts name;
    HeaderRead r = readBaseHeader(in, first, buffer.data(), total);
    if (r == HeaderRead::member) r = takeBaseFields(buffer.data(), total, h, name);
    if (r == HeaderRead::member && h.level != 0)
        r = walkExtendedHeaders(in, buffer.data(), total, h, name);
    if (r != HeaderRead::member) return r;
    joinName(h, name);
    h.modifiedTime = h.level == 2 ? h.rawTime : dosTimeToUnixTime(h.rawTime, timezoneSeconds);
    return HeaderRead::member;
}
