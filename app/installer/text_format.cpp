#include "app/installer/text_format.h"

#include <cstdarg>
#include <cstdio>

bool formatText(char* out, std::size_t size, const char* format, ...) {
    if (size == 0) return false;
    va_list arguments;
    va_start(arguments, format);
    // The system library's: -1 when cut short, and then no terminator.
    const int n = _vsnprintf(out, size, format, arguments);
    va_end(arguments);
    out[size - 1] = '\0';
    return n >= 0 && static_cast<std::size_t>(n) < size;
}
