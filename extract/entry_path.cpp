#include "extract/entry_path.h"

#include <cctype>
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

// Windows opens the device for "NUL", "nul.txt", "Com1 .log" in any folder.
bool isDeviceName(const char* c, std::size_t n) {
    std::size_t base = 0;
    while (base < n && c[base] != '.') ++base;
    while (base > 0 && c[base - 1] == ' ') --base;
    char word[5] = {};
    if (base < 3 || base > 4) return false;
    for (std::size_t i = 0; i < base; ++i)
        word[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(c[i])));
    if (base == 3)
        return !std::strcmp(word, "CON") || !std::strcmp(word, "PRN") ||
               !std::strcmp(word, "AUX") || !std::strcmp(word, "NUL");
    return (!std::strncmp(word, "COM", 3) || !std::strncmp(word, "LPT", 3)) && word[3] >= '1' &&
           word[3] <= '9';
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
        else if (isDeviceName(c, n)) verdict = PathVerdict::deviceName;
        return verdict == PathVerdict::inside;
    });
    return verdict;
}
