// The progress window's member-name display: long names are shortened in the middle
// with "..." until they fit the label.
#pragma once
#include <string>

// `fits(text)` answers whether the text fits; a measuring failure answers true, so the
// text shows as it stands. Separators become "/". A double-byte character is never
// split: cuts fall on character boundaries, walked from the start of the text.
template <class Fits>
std::string shortenEntryName(const char* name, Fits fits);

// One pass: removes the middle byte (and the next one when it looks like a second
// byte), puts "..." there. Returns false when the source is too short to cut.
bool shortenOnce(std::string& source, std::string& display);

std::string displayForm(const char* name);  // the name with "/" separators

template <class Fits>
std::string shortenEntryName(const char* name, Fits fits) {
    std::string source = displayForm(name), display = source;
    while (!fits(display))
        if (!shortenOnce(source, display)) break;
    return display;
}
