#include "app/installer_state.h"

void destroyInstaller(InstallerState& state) {
    if (state.archiveStream) std::fclose(state.archiveStream);
    state.archiveStream = nullptr;
    state.currentOutputPath.clear();
    state.destinationFolder.clear();
    state.title.clear();
    state.programFileName.clear();
    state.launchFile.clear();
    state.shortcutName.clear();
}
