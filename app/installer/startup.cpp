#include "app/installer/startup.h"

#include <commctrl.h>

#include <cstring>

#include "app/installer/command_line.h"
#include "app/installer/installer_state.h"
#include "app/installer/main_window.h"
#include "app/setup/payload_record.h"
#include "app/setup/pe_image.h"
#include "app/installer/user_messages.h"
#include "app/installer/user_texts.h"
#include "res/resource_ids.h"
#include "shell/registry.h"
#include "shell/shell_state.h"

HINSTANCE moduleInstance;

void restrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryA("");
}

namespace {

// The payload record's area: vopa-pack writes the record into this section of the
// stub's file, where the loader then maps it. Read through volatile: the compiler must
// not take the bytes built here for the bytes the file holds.
__attribute__((section(".vopapay"), used))
const volatile unsigned char payloadRecordArea[kPayloadRecordBytes] = VOPA_EMPTY_PAYLOAD_RECORD;

bool openOwnFile(InstallerState& state) {
    DWORD n = GetModuleFileNameA(nullptr, state.ownPath, sizeof state.ownPath);
    // A path that filled the buffer may have been cut: it could name another file.
    if (n == 0 || n >= sizeof state.ownPath) return false;
    state.archiveStream = std::fopen(state.ownPath, "rb");
    if (!state.archiveStream) return false;
    state.image = readPeImageInfo(state.archiveStream);
    unsigned char area[kPayloadRecordBytes];
    for (std::size_t i = 0; i < sizeof area; ++i) area[i] = payloadRecordArea[i];
    readPayloadRecord(area, state.payload);
    return state.image.kind != PeKind::notPe &&
           std::fseek(state.archiveStream, state.image.imageEnd, SEEK_SET) == 0;
}

bool readOwnSetupBlock(InstallerState& state) {
    char current[kPathCapacity], windows[kPathCapacity], previous[kPathCapacity];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current) return false;
    n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows) windows[0] = '\0';
    DestinationSources sources;
    sources.currentDirectory = current;
    sources.windowsDirectory = windows;
    if (readPreviousInstallDir(previous)) sources.previousInstallDir = previous;
    return loadSetupBlock(state, sources);
}

}  // namespace

bool readPreviousInstallDir(char (&folder)[kPathCapacity]) {
    return readString(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir", folder,
                      sizeof folder) == StringRead::ok &&
           folder[0] != '\0';
}

bool initApplication(InstallerState& state, HINSTANCE instance, const char* commandTail) {
    moduleInstance = instance;
    InitCommonControls();
    if (!openOwnFile(state) || !readOwnSetupBlock(state)) return false;
    readShellState(state);
    if (!parseCommandLine(state, commandTail)) {
        // A destination too long to hold is refused rather than cut, and said so.
        tellUser(state, kCannotCreateFolder);
        return false;
    }

    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VOPA));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassA(&wc) != 0;
}
