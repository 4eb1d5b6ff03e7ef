#include "decode/crc16.h"

std::uint16_t crcTable[16][256];
std::uint16_t runningCrc;

void initCrcTable() {
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i;
        for (int k = 0; k < 8; ++k) v = (v & 1) ? (v >> 1) ^ 0xA001u : v >> 1;
        crcTable[0][i] = static_cast<std::uint16_t>(v);
    }
    // Row k advances a byte that is followed by k more bytes (slicing by 16).
    for (unsigned i = 0; i < 256; ++i)
        for (int k = 1; k < 16; ++k) {
            unsigned prev = crcTable[k - 1][i];
            crcTable[k][i] = static_cast<std::uint16_t>(crcTable[0][prev & 0xFF] ^ (prev >> 8));
        }
}

std::uint16_t crcAfter(std::uint16_t from, const std::uint8_t* p, std::size_t n) {
    static const bool ready = (initCrcTable(), true);
    (void)ready;
    unsigned crc = from;
    for (; n >= 16; n -= 16, p += 16) {
        unsigned a = crc ^ (p[0] | (p[1] << 8));
        crc = crcTable[15][a & 0xFF] ^ crcTable[14][a >> 8] ^ crcTable[13][p[2]] ^
              crcTable[12][p[3]] ^ crcTable[11][p[4]] ^ crcTable[10][p[5]] ^ crcTable[9][p[6]] ^
              crcTable[8][p[7]] ^ crcTable[7][p[8]] ^ crcTable[6][p[9]] ^ crcTable[5][p[10]] ^
              crcTable[4][p[11]] ^ crcTable[3][p[12]] ^ crcTable[2][p[13]] ^ crcTable[1][p[14]] ^
              crcTable[0][p[15]];
    }
    for (; n; --n) crc = crcTable[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return static_cast<std::uint16_t>(crc);
}

std::size_t writeWithCrc(const std::uint8_t* data, std::size_t length, std::FILE* stream) {
    runningCrc = crcAfter(runningCrc, data, length);
    if (!stream) return length;
    return length ? std::fwrite(data, 1, length, stream) : 0;
}

std::uint16_t crcOf(const std::uint8_t* data, std::size_t length) {
    return crcAfter(0, data, length);
}
