#include "app/setup/setup_block.h"

#include "extract/lha/entry_path.h"
#include "extract/lha/path_text.h"

namespace {

bool readByte(std::FILE* stream, std::uint8_t& out) {
    int c = std::fgetc(stream);
    if (c == EOF) return false;
    out = static_cast<std::uint8_t>(c);
    return true;
}

// One length-prefixed text, read a byte at a time.
bool readText(std::FILE* stream, std::string& text) {
    std::uint8_t n;
    if (!readByte(stream, n)) return false;
    text.clear();
    for (std::uint8_t c; n; --n) {
        if (!readByte(stream, c)) return false;
        text += static_cast<char>(c);
    }
    return true;
}

bool writeText(std::string& out, const std::string& text, const char* field, std::string& error) {
    if (text.size() > kSetupTextLimit) {
        error = std::string(field) + " is longer than the block's 255 bytes";
        return false;
    }
    out += static_cast<char>(text.size());
    out += text;
    return true;
}

bool hasDrive(const char* name) { return name[0] != '\0' && name[1] == ':'; }

}  // namespace

bool checkSetupBlock(const SetupBlock& b, std::string& error) {
    const std::pair<const char*, const std::string*> joined[] = {
        {"--program", &b.program}, {"--launch", &b.launch}, {"--shortcut", &b.shortcut}};
    for (const auto& [field, text] : joined) {
        if (text->empty()) continue;
        const bool oneName = forEachCharacter(
            text->c_str(), LeadBytes::system,
            [](const char* p, std::size_t n) { return n == 2 || (*p != '\\' && *p != '/'); });
        if (!oneName) error = std::string(field) + " holds a folder separator";
        else if (checkEntryPath(text->c_str()) != PathVerdict::inside)
            error = std::string(field) +
                    " is no plain file name: a drive, a stream, a dot-only or device name, or a "
                    "character Windows refuses";
        else continue;
        return false;
    }
    return true;
}

bool readSetupBlock(std::FILE* in, SetupBlock& block) {
    block = SetupBlock();
    std::uint8_t marker, programFiles;
    if (!readByte(in, marker)) return false;
    if (marker == 0) return true;
    SetupBlock b;
    b.present = true;
    if (!readText(in, b.title) || !readByte(in, programFiles) || !readText(in, b.folder) ||
        !readText(in, b.program) || !readByte(in, b.startMenu) || !readByte(in, b.desktop) ||
        !readByte(in, b.sendTo) || !readText(in, b.launch) || !readText(in, b.shortcut))
        return false;
    b.underProgramFiles = programFiles != 0;
    block = b;
    return true;
}

bool writeSetupBlock(const SetupBlock& b, std::string& out, std::string& error) {
    if (b.present && !checkSetupBlock(b, error)) return false;
    if (!b.present) {
        out += '\0';
        return true;
    }
    out += '\1';
    if (!writeText(out, b.title, "--title", error)) return false;
    out += static_cast<char>(b.underProgramFiles ? 1 : 0);
    if (!writeText(out, b.folder, "--folder", error) ||
        !writeText(out, b.program, "--program", error))
        return false;
    out += static_cast<char>(b.startMenu);
    out += static_cast<char>(b.desktop);
    out += static_cast<char>(b.sendTo);
    return writeText(out, b.launch, "--launch", error) &&
           writeText(out, b.shortcut, "--shortcut", error);
}

bool composeDestination(char* out, std::size_t capacity, const char* folderName,
                        bool underProgramFiles, const DestinationSources& sources) {
    out[0] = '\0';
    if (folderName[0] == '\0') return copyText(out, capacity, sources.currentDirectory);
    if (hasDrive(folderName)) return copyText(out, capacity, folderName);
    if (underProgramFiles) {
        char drive[3] = {};
        if (hasDrive(sources.windowsDirectory)) {
            drive[0] = sources.windowsDirectory[0];
            drive[1] = ':';
        }
        bool ok = copyText(out, capacity, drive) &&
                  appendText(out, capacity, "\\Program Files\\") &&
                  appendText(out, capacity, folderName);
        if (!ok) out[0] = '\0';
        return ok;
    }
    return joinPath(out, capacity, sources.currentDirectory, folderName);
}
