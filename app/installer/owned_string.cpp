#include "app/installer/owned_string.h"

#include <cstring>

#include "extract/lha/path_text.h"

namespace {

constexpr std::size_t kFirstRoom = 15;

}  // namespace

void OwnedString::assign(const char* text) {
    if (!text) return clear();
    const std::size_t n = std::strlen(text);
    char* fresh = new char[n + 1];  // before the old text goes: `text` may lie in it
    std::memcpy(fresh, text, n + 1);
    delete[] text_;
    text_ = fresh;
    length_ = capacity_ = n;
}

void OwnedString::clear() {
    delete[] text_;
    text_ = nullptr;
    length_ = capacity_ = 0;
}

void OwnedString::append(char c) {
    if (c == '\0') return;
    if (length_ == capacity_) {
        const std::size_t room = capacity_ ? 2 * capacity_ : kFirstRoom;
        char* grown = new char[room + 1];
        if (length_) std::memcpy(grown, text_, length_);
        delete[] text_;
        text_ = grown;
        capacity_ = room;
    }
    text_[length_++] = c;
    text_[length_] = '\0';
}

void OwnedString::replaceSeparators(char separator) {
    if (text_) replaceCharacters(text_, LeadBytes::system, "\\/", separator);
}
