// The installer's entry: build the state (start-up, windows), run the message loop,
// tear down. The exit statuses are in installer_state.h.
#include <windows.h>

#include "app/installer/command_line.h"
#include "app/installer/installer_state.h"
#include "app/installer/main_window.h"
#include "app/installer/startup.h"
#include "app/stub/stub_runtime.h"
#include "app/installer/user_messages.h"
#include "app/installer/user_texts.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int) {
    restrictDllSearch();
    InstallerState state;
    // Known first: a silent run that cannot start must still leave its reason in the log.
    state.silent = silentRequested(commandTail);
    watchRuntimeFailures(state);
    int status = kExitStartupRefused;  // no window, no message
    if (createInstaller(state, instance, commandTail)) status = runMessageLoop();
    else if (state.silent && !state.told) writeSilentLog(kCannotStart);
    destroyInstaller(state);
    return status;
}
