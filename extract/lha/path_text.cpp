#include "extract/lha/path_text.h"

#include <cstring>

void replaceCharacters(char* text, LeadBytes rule, const char* from, char to) {
    forEachCharacter(text, rule, [&](char* p, std::size_t n) {
        if (n == 1 && std::strchr(from, *p)) *p = to;
        return true;
    });
}

bool appendBackslash(char* text, std::size_t capacity) {
    std::size_t n = std::strlen(text);
    if (n == 0) return true;
    if (text[n - 1] == '\\') {
        if (n == 1) return true;
        // Only the byte before decides: the rule is a cheap test, not a walk.
        if (!isLeadByte(static_cast<unsigned char>(text[n - 2]), LeadBytes::archive)) return true;
    }
    if (n + 2 > capacity) return false;
    text[n] = '\\';
    text[n + 1] = '\0';
    return true;
}

bool appendText(char* text, std::size_t capacity, const char* tail) {
    std::size_t n = std::strlen(text);
    std::size_t m = std::strlen(tail);
    if (n + m + 1 > capacity) return false;
    std::memcpy(text + n, tail, m + 1);
    return true;
}

bool copyText(char* target, std::size_t capacity, const char* source) {
    if (capacity == 0) return false;
    target[0] = '\0';
    return appendText(target, capacity, source);
}

bool joinPath(char* out, std::size_t capacity, const char* folder, const char* name) {
    if (copyText(out, capacity, folder) && appendBackslash(out, capacity) &&
        appendText(out, capacity, name))
        return true;
    if (capacity) out[0] = '\0';
    return false;
}
