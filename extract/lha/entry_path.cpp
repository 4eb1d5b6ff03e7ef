#include "extract/lha/entry_path.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "extract/lha/name_key_table.h"
#include "extract/lha/path_text.h"

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

unsigned keyCode(unsigned code) {
    for (const NameKeyRun& run : kNameKeyRuns)
        if (code >= run.first && code < run.first + run.count) return run.key + (code - run.first);
    return code;
}

}  // namespace

std::string windowsNameKey(const std::string& name) {
    std::string key = name;
    for (std::size_t i = 0; i < key.size();) {
        const std::size_t n = characterLength(&key[i], LeadBytes::system);
        const auto lead = static_cast<unsigned char>(key[i]);
        if (n == 1) {
            key[i] = static_cast<char>(keyCode(lead));
        } else {
            const unsigned code = keyCode(lead << 8 | static_cast<unsigned char>(key[i + 1]));
            key[i] = static_cast<char>(code >> 8);
            key[i + 1] = static_cast<char>(code & 0xFF);
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
