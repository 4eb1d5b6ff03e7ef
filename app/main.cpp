// The installer's entry: build the state (start-up, windows), run the message loop,
// tear down. The exit statuses are in installer_state.h.
#include <windows.h>

#include "app/installer_state.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/stub_runtime.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int) {
    restrictDllSearch();
    InstallerState state;
    watchRuntimeFailures(state);
    int status = kExitStartupRefused;  // no window, no message
    if (createInstaller(state, instance, commandTail)) status = runMessageLoop();
    destroyInstaller(state);
    return status;
}
