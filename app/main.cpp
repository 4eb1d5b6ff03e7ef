// The installer's entry: build the state (start-up, windows), run the message loop,
// tear down. The exit statuses are in installer_state.h.
#include <windows.h>

#include "app/command_line.h"
#include "app/installer_state.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/stub_runtime.h"
#include "app/user_messages.h"

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
