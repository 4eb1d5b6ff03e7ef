#include "app/setup_block.h"

#include <cstdlib>
#include <cstring>

#include "app/installer_state.h"

bool readBytes(std::FILE* stream, int count, char* buffer) {
    for (int i = 0; i < count; ++i) {
        int c = std::fgetc(stream);
        if (c == EOF) return false;
        buffer[i] = static_cast<char>(c);
    }
    return true;
}

namespace {

bool readByte(std::FILE* stream, std::uint8_t& out) {
    int c = std::fgetc(stream);
    if (c == EOF) return false;
    out = static_cast<std::uint8_t>(c);
    return true;
}

// One length-prefixed text; the buffer is at most 255 bytes plus its terminator.
bool readText(std::FILE* stream, char (&text)[256]) {
    std::uint8_t n;
    std::memset(text, 0, sizeof text);
    return readByte(stream, n) && readBytes(stream, n, text);
}

bool hasDrive(const char* name) { return name[0] != '\0' && name[1] == ':'; }

}  // namespace

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
    bool ok = copyText(out, capacity, sources.currentDirectory) && appendBackslash(out, capacity) &&
              appendText(out, capacity, folderName);
    if (!ok) out[0] = '\0';
    return ok;
}

bool readSetupBlock(InstallerState& state, const DestinationSources& sources) {
    std::FILE* in = state.archiveStream;
    std::uint8_t marker;
    if (!readByte(in, marker)) return false;
    if (marker == 0) {
        state.title.assign(kDefaultTitle);
        state.destinationFolder.assign(sources.currentDirectory);
        return true;
    }

    // Fields are read into locals first, so a block cut short leaves nothing half read.
    char title[256], folder[256], program[256], launch[256], shortcut[256];
    std::uint8_t programFilesFlag, startMenu, desktop, sendTo;
    if (!readText(in, title) || !readByte(in, programFilesFlag) || !readText(in, folder))
        return false;

    char destination[kPathCapacity];
    if (!composeDestination(destination, sizeof destination, folder, programFilesFlag != 0,
                            sources))
        return false;
    // A previous installation's folder wins over the block's rule.
    if (sources.previousInstallDir && sources.previousInstallDir[0] != '\0')
        if (!copyText(destination, sizeof destination, sources.previousInstallDir)) return false;

    if (!readText(in, program) || !readByte(in, startMenu) || !readByte(in, desktop) ||
        !readByte(in, sendTo) || !readText(in, launch) || !readText(in, shortcut))
        return false;

    state.title.assign(title[0] ? title : kDefaultTitle);
    state.destinationFolder.assign(destination);
    state.programFileName.assign(program);
    state.startMenuOption = startMenu;
    state.desktopOption = desktop;
    state.sendToOption = sendTo;
    state.launchFile.assign(launch);
    state.shortcutName.assign(shortcut);
    state.setupBlockRead = true;
    return true;
}
