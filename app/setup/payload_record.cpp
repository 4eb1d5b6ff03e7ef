#include "app/setup/payload_record.h"

#include <algorithm>
#include <cstring>

#include "extract/lha/archive_check.h"
#include "extract/lha/little_endian.h"

namespace {

constexpr unsigned char kMagic[8] = VOPA_EMPTY_PAYLOAD_RECORD;
constexpr std::size_t kLengthAt = 8, kCrcAt = 16;
constexpr std::size_t kChunk = 256u << 10;  // read at a time
constexpr std::uint64_t kCertificateAlignment = 8;

// Row k advances a byte that is followed by k more bytes (slicing by 16).
struct Crc32Table {
    std::uint32_t row[16][256];
    Crc32Table() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t v = i;
            for (int k = 0; k < 8; ++k) v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
            row[0][i] = v;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 16; ++k) row[k][i] = (row[k - 1][i] >> 8) ^ row[0][row[k - 1][i] & 0xFF];
    }
};


}  // namespace

bool readPayloadRecord(const unsigned char* area, PayloadRecord& r) {
    if (std::memcmp(area, kMagic, sizeof kMagic) != 0) return false;
    r.length = le64(area + kLengthAt);
    r.crc = le32(area + kCrcAt);
    return true;
}

void writePayloadRecord(unsigned char* area, const PayloadRecord& r) {
    std::memset(area, 0, kPayloadRecordBytes);
    std::memcpy(area, kMagic, sizeof kMagic);
    putLe(area + kLengthAt, r.length, 8);
    putLe(area + kCrcAt, r.crc, 4);
}

std::uint32_t crc32After(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    static const Crc32Table table;
    const auto& t = table.row;
    crc = ~crc;
    for (; n >= 16; n -= 16, p += 16) {
        const std::uint32_t a = crc ^ le32(p);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^
              t[5][p[10]] ^ t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
    }
    for (; n; --n) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t crc32OfStream(std::FILE* f, std::uint64_t start, std::uint64_t length,
                            std::uint64_t& read, bool (*onChunk)(std::size_t)) {
    read = 0;
    std::uint32_t crc = 0;
    if (!seekStream(f, start)) return crc;
    auto* buffer = new unsigned char[kChunk];  // the installer's own message if it fails
    while (read < length) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - read));
        const std::size_t n = std::fread(buffer, 1, want, f);
        crc = crc32After(crc, buffer, n);
        read += n;
        if (n < want || (onChunk && !onChunk(n))) break;
    }
    delete[] buffer;
    return crc;
}

bool payloadMatches(std::FILE* f, std::uint64_t imageEnd, const PayloadRecord& record,
                    std::uint64_t certificateOffset, bool (*onChunk)(std::size_t)) {
    std::uint64_t read = 0;
    const std::uint32_t crc = crc32OfStream(f, imageEnd, record.length, read, onChunk);
    if (read != record.length || crc != record.crc) return false;
    if (!certificateOffset) return true;
    const std::uint64_t end = imageEnd + record.length;
    if (certificateOffset < end || certificateOffset - end >= kCertificateAlignment) return false;
    for (std::uint64_t at = end; at < certificateOffset; ++at)
        if (std::fgetc(f) != 0) return false;
    return true;
}
