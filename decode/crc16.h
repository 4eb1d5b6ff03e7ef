// CRC-16/ARC (reflected polynomial 0xA001, initial 0, no final XOR): the checksum the
// archive stores for every member's original bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// crcTable[0] is the classic byte table; rows 1..15 let crcAfter take 16 bytes a step.
extern std::uint16_t crcTable[16][256];
// CRC of the bytes written so far for the member in hand. One writer: the worker.
extern std::uint16_t runningCrc;

void initCrcTable();
// The CRC of `data` folded into runningCrc, then fwrite; returns fwrite's count. A null stream only counts the CRC
// (members checked before anything is written).
std::size_t writeWithCrc(const std::uint8_t* data, std::size_t length, std::FILE* stream);
// The CRC after `data` from `crc`, or of `data` alone; they touch no shared state (the
// packer's threads use them at once) and build the table when needed.
std::uint16_t crcAfter(std::uint16_t crc, const std::uint8_t* data, std::size_t length);
std::uint16_t crcOf(const std::uint8_t* data, std::size_t length);
