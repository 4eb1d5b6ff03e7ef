// Path texts: ANSI code page 932 strings in fixed MAX_PATH buffers, and the one walk
// over their double-byte characters that every path and name routine uses. Shared by
// the archive's member paths, the setup block, the installer and the packer.
#pragma once
#include <cstddef>

// MAX_PATH: every path buffer of the installer holds 260 bytes with its terminator, so
// a path has 259 bytes at most.
constexpr std::size_t kPathCapacity = 260;
constexpr std::size_t kLongestPath = kPathCapacity - 1;

// Bytes a member path may have after a destination of `destinationBytes` and the "\"
// that joins them.
constexpr std::size_t roomAfterDestination(std::size_t destinationBytes) {
    return destinationBytes + 1 < kLongestPath ? kLongestPath - 1 - destinationBytes : 0;
}

// Which bytes start a double-byte character.
enum class LeadBytes {
    system,   // 0x81..0x9F, 0xE0..0xFC: how Windows reads code page 932
    archive,  // 0x80 too: the archive's separator rules and appendBackslash
};

constexpr bool isLeadByte(unsigned char c, LeadBytes rule = LeadBytes::system) {
    return (c >= (rule == LeadBytes::system ? 0x81 : 0x80) && c <= 0x9F) ||
           (c >= 0xE0 && c <= 0xFC);
}
// A byte that can follow a lead byte.
constexpr bool isTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Bytes of the character that starts at `p`: 2 for a lead byte and its second byte,
// else 1. A lead byte before the terminator is a character of its own.
inline std::size_t characterLength(const char* p, LeadBytes rule) {
    const auto lead = static_cast<unsigned char>(p[0]), next = static_cast<unsigned char>(p[1]);
    return isLeadByte(lead, rule) && next != 0 ? 2 : 1;
}

// Calls `visit(p, n)` for each character of the NUL-terminated text, n being 1 or 2;
// stops early when it returns false. Returns whether the walk reached the end.
template <class Char, class Visit>
bool forEachCharacter(Char* text, LeadBytes rule, Visit visit) {
    for (Char* p = text; *p;) {
        const std::size_t n = characterLength(p, rule);
        if (!visit(p, n)) return false;
        p += n;
    }
    return true;
}

// Calls `visit(offset)` for each single-byte `separator` of the text, in order, passing
// over second bytes of double-byte characters (code page 932 as Windows reads it).
template <class Visit>
void forEachSeparator(const char* text, char separator, Visit visit) {
    forEachCharacter(text, LeadBytes::system, [&](const char* p, std::size_t n) {
        if (n == 1 && *p == separator) visit(static_cast<std::size_t>(p - text));
        return true;
    });
}

// Every single-byte character of `text` found in `from` becomes `to`.
void replaceCharacters(char* text, LeadBytes rule, const char* from, char to);

// Makes `text` ready to have a name appended: adds "\" unless it already ends in a
// real "\" (a trailing 0x5C after a lead byte is the second half of a character).
// An empty text stays empty. Returns false, leaving the text alone, when the
// buffer of `capacity` bytes cannot hold the extra byte.
bool appendBackslash(char* text, std::size_t capacity);

// Appends `tail` to `text` inside a buffer of `capacity` bytes. Returns false and
// leaves `text` unchanged when the result would not fit: a path is never cut into
// a different, shorter path.
bool appendText(char* text, std::size_t capacity, const char* tail);

// Copies `source` into `target` (capacity bytes). False, with `target` empty, when
// it does not fit.
bool copyText(char* target, std::size_t capacity, const char* source);

// `folder`, passed through appendBackslash, then `name`. False, with `out` empty,
// when the whole path does not fit: the item that needs it is skipped, not misnamed.
bool joinPath(char* out, std::size_t capacity, const char* folder, const char* name);
template <std::size_t N>
bool joinPath(char (&out)[N], const char* folder, const char* name) {
    return joinPath(out, N, folder, name);
}
