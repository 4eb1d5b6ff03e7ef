#!/usr/bin/env python3
"""Makes extract/lha/name_key_table.h: the character each code page 932 character is compared
as in a file name on Windows.

Windows reads a name's bytes as Unicode (code page 932 spells some characters two or
three ways) and compares names after upper-casing them: NTFS by the table it writes when
it formats a volume, FAT and exFAT by their own, all made from Unicode's simple
upper-case mapping. Two codes are one name when their characters upper-case alike; each
code is keyed by the lowest code of its group.

    python3 extract/lha/make_name_key_table.py > extract/lha/name_key_table.h
    python3 extract/lha/make_name_key_table.py --groups   # every group, one a line, for the tests
"""
import sys
import unicodedata

LEAD_BYTES = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAIL_BYTES = [t for t in range(0x40, 0xFD) if t != 0x7F]


def characters():
    """Every code that code page 932 holds, single bytes and pairs, with its character."""
    table = {}
    spellings = [bytes([b]) for b in range(0x100)]
    spellings += [bytes([lead, trail]) for lead in LEAD_BYTES for trail in TRAIL_BYTES]
    for spelling in spellings:
        try:
            character = spelling.decode("cp932")
        except UnicodeDecodeError:
            continue
        table[int.from_bytes(spelling, "big")] = character
    return table


def upper(character):
    # str.upper is the full mapping; where it gives one character it is the simple one.
    # A character that grows (as German sharp s does) has to be looked at by hand.
    result = character.upper()
    if len(result) != 1:
        sys.exit(f"U+{ord(character):04X} upper-cases to {len(result)} characters")
    return result


def groups():
    """Codes that are one name, lowest first; every code in exactly one group."""
    by_key = {}
    for code, character in sorted(characters().items()):
        by_key.setdefault(upper(character), []).append(code)
    for codes in by_key.values():
        if len({code > 0xFF for code in codes}) != 1:
            sys.exit(f"{codes}: a single byte and a pair would be one name")
    return sorted(by_key.values())


def runs():
    """(first, key, count): codes first.. stand for key.., a run of codes of one step."""
    keyed = sorted((code, group[0]) for group in groups() for code in group[1:])
    result = []
    for code, key in keyed:
        if result:
            first, start, count = result[-1]
            if code == first + count and key == start + count:
                result[-1] = (first, start, count + 1)
                continue
        result.append((code, key, 1))
    return result


def header():
    rows = [f"    {{0x{first:04X}, 0x{key:04X}, {count}}}," for first, key, count in runs()]
    return f"""// Made by extract/lha/make_name_key_table.py (Python {sys.version.split()[0]}, Unicode \
{unicodedata.unidata_version}); not edited by hand.
// Runs of code page 932 codes that Windows compares as the run at `key`, the lowest code of
// each group: the same character in another letter case (Unicode's simple upper-case
// mapping, from which NTFS, FAT and exFAT make their upper-case tables) or in another of
// the code page's spellings. A code is the byte, or the lead byte * 256 + the second.
#pragma once
#include <cstdint>

struct NameKeyRun {{
    std::uint16_t first, key, count;
}};
constexpr NameKeyRun kNameKeyRuns[] = {{
{chr(10).join(rows)}
}};
"""


if __name__ == "__main__":
    if sys.argv[1:] == ["--groups"]:
        for group in groups():
            print(" ".join(f"{code:X}" for code in group))
    elif not sys.argv[1:]:
        sys.stdout.write(header())
    else:
        sys.exit(__doc__)
