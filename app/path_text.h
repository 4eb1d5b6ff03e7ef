// Path texts of the installer: ANSI code page 932 strings in fixed MAX_PATH buffers.
// The helpers here are shared by start-up, extraction and the shell work, so they
// live apart from any Windows code.
#pragma once
#include <cstddef>

// MAX_PATH: every path buffer of the installer holds 260 bytes with its terminator.
constexpr std::size_t kPathCapacity = 260;

// Lead byte of a double-byte character as start-up and the path display see it.
inline bool isLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Lead byte as the archive's path rules and appendBackslash see it (0x80 included).
inline bool isArchiveLeadByte(unsigned char c) {
    return (c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

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
