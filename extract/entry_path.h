// Member paths: made relative to the destination, and then checked once more as
// Windows itself will read them, so no member can name anything outside it.
#pragma once
#include <cstddef>

// Makes a member's name relative: strips runs of "." and separators at the start and
// after a separator or ":", then the drive and one leading separator; rewrites `path`
// (a 260-byte buffer) in place.
void sanitizeEntryPath(char* path, char separator);

enum class PathVerdict {
    inside,      // relative, no "." or ".." component, no drive or stream
    escapes,     // absolute, a drive, a ":" (alternate data stream) or a dot component
    deviceName,  // CON, PRN, AUX, NUL, COM1-9 or LPT1-9 as a component
    empty,       // names the destination itself
};

// Judges a sanitised path with the system's own rules: "\" and "/" both separate,
// and only 0x81..0x9F and 0xE0..0xFC are lead bytes in code page 932.
PathVerdict checkEntryPath(const char* path);
