// printf-style texts through the system C library's own formatter. The C++ library
// sends std::snprintf and std::fprintf to a formatter of its own, which would put
// some 20 KB into every installer; the installer's texts need only %s, %d and %u.
#pragma once
#include <cstddef>

// Writes the text into `out`, always terminated; false when it did not fit whole. 64-bit
// numbers are %I64u.
bool formatText(char* out, std::size_t size, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));
