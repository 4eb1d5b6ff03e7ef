#include "app/installer/command_line.h"

#include <cctype>
#include <cstring>

#include "app/installer/installer_state.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Case-insensitive like lstrcmpiA for the ASCII words compared here.
bool sameWord(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

void applySwitch(InstallerState& state, char letter) {
    switch (std::tolower(static_cast<unsigned char>(letter))) {
        case 'a': state.addCompressMenu = true; break;
        case 'c': state.addViewVerb = true; break;
        case 'd': state.desktopOption |= kOptionMake; break;
        case 'm': state.startMenuOption |= kOptionMake; break;
        case 't': state.sendToOption |= kOptionMake; break;
        case 's': state.silent = true; break;
        default: return;
    }
    state.unattended = true;
}

void applyWord(InstallerState& state, const char* word) {
    for (std::size_t i = 0; i < kAssociationCount; ++i) {
        if (sameWord(word, kAssociations[i].commandWord)) {
            state.associateFlags[i] = true;
            state.unattended = true;
            return;
        }
    }
}

// Walks the tail's items: each switch letter after "-" or "/", each quoted text (the
// destination), each other word.
template <class OnSwitch, class OnQuoted, class OnWord>
void forEachItem(const char* tail, OnSwitch onSwitch, OnQuoted onQuoted, OnWord onWord) {
    enum class Mode { between, switches, quoted, word } mode = Mode::between;
    OwnedString text;
    for (const char* p = tail ? tail : ""; *p; ++p) {
        char c = *p;
        switch (mode) {
            case Mode::between:
                if (isBlank(c)) break;
                if (c == '-' || c == '/') mode = Mode::switches;
                else if (c == '"') mode = Mode::quoted;
                else {
                    text.append(c);
                    mode = Mode::word;
                }
                break;
            case Mode::switches:
                if (isBlank(c)) mode = Mode::between;
                else onSwitch(c);
                break;
            case Mode::quoted:
                if (c != '"') {
                    text.append(c);
                    break;
                }
                onQuoted(text);
                text.clear();
                mode = Mode::between;
                break;
            case Mode::word:
                if (!isBlank(c)) {
                    text.append(c);
                    break;
                }
                onWord(text.text());
                text.clear();
                mode = Mode::between;
                break;
        }
    }
    if (mode == Mode::word) onWord(text.text());
}

}  // namespace

bool silentRequested(const char* tail) {
    bool silent = false;
    forEachItem(
        tail, [&](char c) { silent = silent || std::tolower(static_cast<unsigned char>(c)) == 's'; },
        [](const OwnedString&) {}, [](const char*) {});
    return silent;
}

bool parseCommandLine(InstallerState& state, const char* tail) {
    bool refused = false;
    forEachItem(
        tail, [&](char c) { applySwitch(state, c); },
        [&](const OwnedString& path) {
            if (path.length() < kPathCapacity) {
                state.destinationFolder.assign(path.text());
                state.unattended = true;
            } else {
                refused = true;
            }
        },
        [&](const char* word) { applyWord(state, word); });

    bool anyAssociation = false;
    for (bool flag : state.associateFlags) anyAssociation |= flag;
    // "View" is only ever added to associated classes.
    if (!anyAssociation) state.addViewVerb = false;
    return !refused;
}
