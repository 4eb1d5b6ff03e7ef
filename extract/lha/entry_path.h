// Member paths: made relative to the destination, and then checked once more as
// Windows itself will read them, so no member can name anything outside it.
#pragma once
#include <cstddef>
#include <map>
#include <string>

// Makes a member's name relative: strips runs of "." and separators at the start and
// after a separator or ":", then the drive and one leading separator, and spells each
// run of "\" and `separator` that Windows separates by as one `separator`; rewrites
// `path` (a 260-byte buffer) in place.
void sanitizeEntryPath(char* path, char separator);

enum class PathVerdict {
    inside,    // relative, no "." or ".." component, no drive or stream
    escapes,   // absolute, a drive, a ":" (alternate data stream) or a dot component
    unusable,  // a name Windows refuses or would change: a device (CON, PRN, AUX, NUL,
               // COM1-9, LPT1-9, CONIN$, CONOUT$), a character of < > " | ? * or below 0x20, or a
               // component that ends in "." or " "
    empty,     // names the destination itself
};

// Judges a sanitised path with the system's own rules: "\" and "/" both separate,
// and only 0x81..0x9F and 0xE0..0xFC are lead bytes in code page 932.
PathVerdict checkEntryPath(const char* path);

// Member paths that Windows would take for one file: the same name in other letter
// cases (ASCII, full-width Latin, Greek, Cyrillic, Roman numerals: every pair of
// extract/lha/name_key_table.h) or with a character that code page 932 spells more than
// once, or a file where another member needs a folder.
// Paths are sanitised, with "/" separators.
class MemberNames {
public:
    // False, with the earlier member's name in `clash`, when the path is taken.
    bool add(const char* path, bool folder, std::string& clash);

private:
    struct Taken {
        std::string name;
        bool folder;
    };
    std::map<std::string, Taken> taken_;  // by the name as Windows compares it
};
// The key Windows compares names by: each character upper-cased and spelt one way.
std::string windowsNameKey(const std::string& name);
