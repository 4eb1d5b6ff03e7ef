#include "app/installer/owned_string.h"

#include <cstdlib>
#include <cstring>

#include "extract/lha/path_text.h"

void OwnedString::assign(const char* text) {
    clear();
    if (!text) return;
    std::size_t n = std::strlen(text);
    text_ = static_cast<char*>(std::malloc(n + 1));
    if (text_) std::memcpy(text_, text, n + 1);
}

void OwnedString::clear() {
    std::free(text_);
    text_ = nullptr;
}

std::size_t OwnedString::length() const { return text_ ? std::strlen(text_) : 0; }

void OwnedString::append(char c) {
    if (c == '\0') return;
    std::size_t n = length();
    auto* grown = static_cast<char*>(std::malloc(n + 2));
    if (!grown) return;
    if (n) std::memcpy(grown, text_, n);
    grown[n] = c;
    grown[n + 1] = '\0';
    std::free(text_);
    text_ = grown;
}

void OwnedString::replaceSeparators(char separator) {
    if (text_) replaceCharacters(text_, LeadBytes::system, "\\/", separator);
}
