// OwnedString: one zero-terminated heap text with a single owner. The installer's
// texts that outlive a call (title, destination, the command-line parser's growing
// words) are held in these. Appends double the room when it runs out, so a text grown a
// character at a time costs time in proportion to its length. Memory comes from new, so
// a failure ends in the installer's own message, never in a text quietly cut.
#pragma once
#include <cstddef>

class OwnedString {
public:
    OwnedString() = default;
    explicit OwnedString(const char* text) { assign(text); }
    OwnedString(const OwnedString&) = delete;
    OwnedString& operator=(const OwnedString&) = delete;
    ~OwnedString() { clear(); }

    // Copies `text`; a null text leaves the string empty. The old text is freed first.
    void assign(const char* text);
    void clear();
    // Appends one character; a zero character is ignored.
    void append(char c);
    // Every "\" and "/" that is not the second byte of a double-byte character
    // becomes `separator`.
    void replaceSeparators(char separator);

    const char* text() const { return text_ ? text_ : ""; }
    bool empty() const { return length_ == 0; }
    std::size_t length() const { return length_; }

private:
    char* text_ = nullptr;
    std::size_t length_ = 0, capacity_ = 0;  // capacity_ bytes of text, and a terminator
};
