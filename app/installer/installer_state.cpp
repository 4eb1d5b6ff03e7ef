#include "app/installer/installer_state.h"

#include "platform/system.h"

void destroyInstaller(InstallerState& state) {
    if (state.archiveStream) std::fclose(state.archiveStream);
    state.archiveStream = nullptr;
    state.madeFolder.clear();
    state.destinationFolder.clear();
    state.title.clear();
    state.programFileName.clear();
    state.launchFile.clear();
    state.shortcutName.clear();
}

bool loadSetupBlock(InstallerState& state, const DestinationSources& sources) {
    SetupBlock block;
    std::string error;
    // A block from another tool may name files outside the destination: refused.
    if (!readSetupBlock(state.archiveStream, block) || !checkSetupBlock(block, error)) return false;
    if (!block.present) {
        state.title.assign(kDefaultTitle);
        state.destinationFolder.assign(sources.currentDirectory);
        return true;
    }
    char destination[kPathCapacity];
    if (!composeDestination(destination, sizeof destination, block.folder.c_str(),
                            block.underProgramFiles, sources))
        return false;
    // A previous installation's folder wins over the block's rule.
    if (sources.previousInstallDir && sources.previousInstallDir[0] != '\0')
        if (!copyText(destination, sizeof destination, sources.previousInstallDir)) return false;
    state.title.assign(block.title.c_str()[0] ? block.title.c_str() : kDefaultTitle);
    state.destinationFolder.assign(destination);
    state.programFileName.assign(block.program.c_str());
    state.startMenuOption = block.startMenu;
    state.desktopOption = block.desktop;
    state.sendToOption = block.sendTo;
    state.launchFile.assign(block.launch.c_str());
    state.shortcutName.assign(block.shortcut.c_str());
    state.setupBlockRead = true;
    return true;
}

const ArchiveSummary& archiveSummary(InstallerState& state) {
    if (!state.archiveSummarized && state.archiveStream) {
        CheckOptions options;
        options.timezoneSeconds = localTimezoneOffset();
        state.archive = checkArchive(state.archiveStream, options);
        state.archiveSummarized = true;
    }
    return state.archive;
}
