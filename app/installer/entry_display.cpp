#include "app/installer/entry_display.h"

#include "app/installer/owned_string.h"
#include "extract/lha/path_text.h"

namespace {

// True when byte i starts a character, walking lead bytes from the start.
bool isBoundary(const std::string& s, std::size_t i) {
    std::size_t p = 0;
    while (p < i) p += characterLength(s.c_str() + p, LeadBytes::system);
    return p == i;
}

}  // namespace

std::string displayForm(const char* name) {
    OwnedString s(name);
    s.replaceSeparators('/');
    return s.text();
}

bool shortenOnce(std::string& source, std::string& display) {
    std::size_t h = source.size() / 2;
    if (h == 0) return false;
    std::size_t headEnd = h;
    if (!isBoundary(source, headEnd)) --headEnd;  // the head would end in a lead byte
    std::size_t tail = h + 1;
    if (tail < source.size()) {
        if (isTrailByte(static_cast<unsigned char>(source[tail]))) ++tail;
    }
    if (tail > source.size()) tail = source.size();
    if (!isBoundary(source, tail)) ++tail;  // never start the tail on a second byte
    std::string head = source.substr(0, headEnd), rest = source.substr(tail);
    display = head + "..." + rest;
    source = head + rest;
    return true;
}
