#include "extract/entry_path.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "extract/path_text.h"

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Components of the path as Windows splits them, double-byte aware.
template <class Visit>
bool forEachComponent(const char* path, Visit visit) {
    const char* start = path;
    const bool whole = forEachCharacter(path, LeadBytes::system, [&](const char* p, std::size_t n) {
        if (n != 1 || !isSeparator(*p)) return true;
        if (!visit(start, static_cast<std::size_t>(p - start))) return false;
        start = p + 1;
        return true;
    });
    return whole && visit(start, std::strlen(start));
}

bool onlyDotsAndSpaces(const char* c, std::size_t n) {
    if (n == 0) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (c[i] != '.' && c[i] != ' ') return false;
    return true;
}

// Windows opens the device for "NUL", "nul.txt", "Com1 .log", "conout$.txt" in any folder.
bool isDeviceName(const char* c, std::size_t n) {
    std::size_t base = 0;
    while (base < n && c[base] != '.') ++base;
    while (base > 0 && c[base - 1] == ' ') --base;
    char word[8] = {};
    if (base < 3 || base > 7) return false;
    for (std::size_t i = 0; i < base; ++i)
        word[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(c[i])));
    if (!std::strcmp(word, "CONIN$") || !std::strcmp(word, "CONOUT$")) return true;
    if (base == 3)
        return !std::strcmp(word, "CON") || !std::strcmp(word, "PRN") ||
               !std::strcmp(word, "AUX") || !std::strcmp(word, "NUL");
    return base == 4 && (!std::strncmp(word, "COM", 3) || !std::strncmp(word, "LPT", 3)) &&
           word[3] >= '1' && word[3] <= '9';
}

}  // namespace

void sanitizeEntryPath(char* path, char s) {
    // 1. Dot stripping: runs of s and "." at the start, and after an s or ":" that
    //    is followed by ".", are removed up to the next other byte.
    {
        char* out = path;
        bool strip = path[0] == s || path[0] == '.';
        for (const char* p = path; *p; ++p) {
            char c = *p;
            if (strip) {
                if (c == s || c == '.') continue;
                strip = false;
                *out++ = c;
            } else {
                *out++ = c;
                if ((c == s || c == ':') && p[1] == '.') strip = true;
            }
        }
        *out = '\0';
    }
    // 2. Split into drive, folder, base name and extension, drop the drive and one
    //    leading separator of the folder part, and join again.
    char* rest = path;
    if (path[0] != '\0' && path[1] == ':') rest = path + 2;
    if (*rest == s) ++rest;
    if (rest != path) std::memmove(path, rest, std::strlen(rest) + 1);
    // 3. A "\" left after a byte only the archive's rule pairs (0x80) separates on
    //    Windows, and a run of separators is one there: spelt as one s, the name and
    //    link checks split the path where Windows does.
    replaceCharacters(path, LeadBytes::system, "\\", s);
    char copy[kPathCapacity];
    if (!copyText(copy, sizeof copy, path)) return;
    char* out = path;
    bool afterSeparator = false;
    forEachCharacter(copy, LeadBytes::system, [&](const char* p, std::size_t n) {
        const bool separator = n == 1 && *p == s;
        if (!(separator && afterSeparator)) out = std::copy(p, p + n, out);
        afterSeparator = separator;
        return true;
    });
    *out = '\0';
}

PathVerdict checkEntryPath(const char* path) {
    if (path[0] == '\0') return PathVerdict::empty;
    if (isSeparator(path[0])) return PathVerdict::escapes;
    // A ":" anywhere names a drive or an alternate data stream.
    if (!forEachCharacter(path, LeadBytes::system,
                          [](const char* p, std::size_t n) { return n != 1 || *p != ':'; }))
        return PathVerdict::escapes;
    PathVerdict verdict = PathVerdict::inside;
    forEachComponent(path, [&](const char* c, std::size_t n) {
        if (onlyDotsAndSpaces(c, n)) verdict = PathVerdict::escapes;
        else if (isDeviceName(c, n) || (n && (c[n - 1] == '.' || c[n - 1] == ' ')))
            verdict = PathVerdict::unusable;
        return verdict == PathVerdict::inside;
    });
    if (verdict != PathVerdict::inside) return verdict;
    const bool allowed =
        forEachCharacter(path, LeadBytes::system, [](const char* p, std::size_t n) {
            const auto c = static_cast<unsigned char>(*p);
            return n == 2 || (c >= 0x20 && !std::strchr("<>\"|?*", c));
        });
    return allowed ? PathVerdict::inside : PathVerdict::unusable;
}

namespace {

// Code page 932 spells some characters twice or three times (the symbols of row 13 and the
// extensions); Windows reads each spelling as the same character. Runs of codes that
// stand for the run at `canonical`, its lowest spelling.
struct SameCharacters {
    std::uint16_t first, canonical, count;
};
constexpr SameCharacters kSameCharacters[] = {
    {0x8790, 0x81E0, 1},  {0x8791, 0x81DF, 1},  {0x8792, 0x81E7, 1},  {0x8795, 0x81E3, 1},
    {0x8796, 0x81DB, 1},  {0x8797, 0x81DA, 1},  {0x879A, 0x81E6, 1},  {0x879B, 0x81BF, 1},
    {0x879C, 0x81BE, 1},  {0xEEF9, 0x81CA, 1},  {0xFA40, 0xEEEF, 10}, {0xFA4A, 0x8754, 10},
    {0xFA54, 0x81CA, 1},  {0xFA55, 0xEEFA, 3},  {0xFA58, 0x878A, 1},  {0xFA59, 0x8782, 1},
    {0xFA5A, 0x8784, 1},  {0xFA5B, 0x81E6, 1},  {0xFA5C, 0xED40, 35}, {0xFA80, 0xED63, 28},
    {0xFA9C, 0xED80, 97}, {0xFB40, 0xEDE1, 28}, {0xFB5C, 0xEE40, 35}, {0xFB80, 0xEE63, 28},
    {0xFB9C, 0xEE80, 97}, {0xFC40, 0xEEE1, 12},
};

unsigned canonicalSpelling(unsigned code) {
    for (const SameCharacters& run : kSameCharacters)
        if (code >= run.first && code < run.first + run.count)
            return run.canonical + (code - run.first);
    return code;
}

}  // namespace

std::string windowsNameKey(const std::string& name) {
    std::string key = name;
    for (std::size_t i = 0; i < key.size();) {
        auto c = static_cast<unsigned char>(key[i]);
        const std::size_t n = characterLength(&key[i], LeadBytes::system);
        if (n == 1) {
            if (c >= 'a' && c <= 'z') key[i] = static_cast<char>(c - 'a' + 'A');
        } else {
            const unsigned code =
                canonicalSpelling(c << 8 | static_cast<unsigned char>(key[i + 1]));
            c = static_cast<unsigned char>(code >> 8);
            const auto t = static_cast<unsigned char>(code & 0xFF);
            unsigned upper = code;
            if (c == 0x82 && t >= 0x81 && t <= 0x9A) upper = 0x8260 + (t - 0x81);  // full-width
            if (c == 0x83 && t >= 0xBF && t <= 0xD6) upper = 0x839F + (t - 0xBF);  // Greek
            if (c == 0x84 && t >= 0x70 && t <= 0x91 && t != 0x7F)  // Cyrillic, 0x7F skipped
                upper = 0x8440 + (t - 0x70) - (t > 0x7F);
            key[i] = static_cast<char>(upper >> 8);
            key[i + 1] = static_cast<char>(upper & 0xFF);
        }
        i += n;
    }
    return key;
}

bool MemberNames::add(const char* path, bool folder, std::string& clash) {
    // Every folder above the member, then the member itself.
    const std::string whole = path;
    std::size_t at = 0;
    for (;;) {
        const std::size_t cut = whole.find('/', at);
        const bool last = cut == std::string::npos || cut + 1 == whole.size();
        const std::string name = whole.substr(0, cut);
        const bool isFolder = !last || folder;
        auto [it, added] = taken_.insert({windowsNameKey(name), {name, isFolder}});
        if (!added && !(it->second.folder && isFolder)) {
            clash = it->second.name;
            return false;
        }
        if (last) return true;
        at = cut + 1;
    }
}
