// Made by extract/lha/make_name_key_table.py (Python 3.11.7, Unicode 14.0.0); not edited by hand.
// Runs of code page 932 codes that Windows compares as the run at `key`, the lowest code of
// each group: the same character in another letter case (Unicode's simple upper-case
// mapping, from which NTFS, FAT and exFAT make their upper-case tables) or in another of
// the code page's spellings. A code is the byte, or the lead byte * 256 + the second.
#pragma once
#include <cstdint>

struct NameKeyRun {
    std::uint16_t first, key, count;
};
constexpr NameKeyRun kNameKeyRuns[] = {
    {0x0061, 0x0041, 26},
    {0x8281, 0x8260, 26},
    {0x83BF, 0x839F, 24},
    {0x8470, 0x8440, 15},
    {0x8480, 0x844F, 18},
    {0x8790, 0x81E0, 1},
    {0x8791, 0x81DF, 1},
    {0x8792, 0x81E7, 1},
    {0x8795, 0x81E3, 1},
    {0x8796, 0x81DB, 1},
    {0x8797, 0x81DA, 1},
    {0x879A, 0x81E6, 1},
    {0x879B, 0x81BF, 1},
    {0x879C, 0x81BE, 1},
    {0xEEEF, 0x8754, 10},
    {0xEEF9, 0x81CA, 1},
    {0xFA40, 0x8754, 10},
    {0xFA4A, 0x8754, 10},
    {0xFA54, 0x81CA, 1},
    {0xFA55, 0xEEFA, 3},
    {0xFA58, 0x878A, 1},
    {0xFA59, 0x8782, 1},
    {0xFA5A, 0x8784, 1},
    {0xFA5B, 0x81E6, 1},
    {0xFA5C, 0xED40, 35},
    {0xFA80, 0xED63, 28},
    {0xFA9C, 0xED80, 97},
    {0xFB40, 0xEDE1, 28},
    {0xFB5C, 0xEE40, 35},
    {0xFB80, 0xEE63, 28},
    {0xFB9C, 0xEE80, 97},
    {0xFC40, 0xEEE1, 12},
};
