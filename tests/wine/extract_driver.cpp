// Runs startExtraction under Wine for each job of LIST against a hidden window with a
// message loop; logs what the main window would see and the unattended messages.
//   extract_driver LIST LOG
// LIST lines: ARCHIVE<TAB>DESTINATION<TAB>OPTION. Options clear continueFlag as the abort
// button does: abort:N once the bar reaches N while writing, entry:K and checked:K at the
// K-th name written and checked. hold:NAME writes the file context-menu handler key and
// holds NAME in the destination open with no sharing (made when missing), as a program
// or a scanner may. load:NAME has another process load NAME, a DLL in the destination,
// as a shell loads its extension. cut:N cuts the archive to N bytes as the first name is
// written, after its check; fill fills the destination's disk then.
//   extract_driver --load DLL EVENT   (that other process: loads, signals, waits)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/installer_state.h"
#include "app/user_messages.h"
#include "extract/entry_output.h"
#include "extract/extraction_worker.h"
#include "extract/progress.h"
#include "shell/association_table.h"
#include "shell/registry.h"

namespace {

std::FILE* logFile;
HWND driverWindow;
std::string optionKind, optionValue, archivePath;
unsigned optionNumber, entries, checks;

// Fills the disk of the destination (the current folder) with a file beside it.
void fillDisk() {
    HANDLE file = CreateFileA("..\\filler", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    static char zeros[1 << 16];
    DWORD written = 1;
    while (written && WriteFile(file, zeros, sizeof zeros, &written, nullptr)) {}
    CloseHandle(file);
}

// Another process that holds `dll` loaded until it is ended.
HANDLE loadElsewhere(const std::string& dll) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "VopaDriverLoaded");
    char self[MAX_PATH], full[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    GetFullPathNameA(dll.c_str(), sizeof full, full, nullptr);
    std::string command = std::string("\"") + self + "\" --load \"" + full + "\" VopaDriverLoaded";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process) ||
        WaitForSingleObject(ready, 60000) != WAIT_OBJECT_0)
        std::fprintf(logFile, "LOAD failed\n");
    CloseHandle(ready);
    CloseHandle(process.hThread);
    return process.hProcess;
}

void cutArchive() {
    HANDLE file =
        CreateFileA(archivePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = optionNumber;
    if (!SetFilePointerEx(file, size, nullptr, FILE_BEGIN) || !SetEndOfFile(file))
        std::fprintf(logFile, "CUT failed\n");
    CloseHandle(file);
}

// In the worker, which the progress bar's message would hold until it is shown.
void showPosition(std::uint32_t position) {
    std::fprintf(logFile, "POS %u\n", static_cast<unsigned>(position));
    if (position >= optionNumber && optionKind == "abort") continueFlag = 0;
}

LRESULT CALLBACK driverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case UM_CHECK_ENTRY:
            if (++checks == optionNumber && optionKind == "checked") continueFlag = 0;
            return 0;
        case UM_SHOW_ENTRY:
            std::fprintf(logFile, "ENTRY %s\n", reinterpret_cast<const char*>(lParam));
            if (++entries == optionNumber && optionKind == "entry") continueFlag = 0;
            if (entries == 1 && optionKind == "cut") cutArchive();
            if (entries == 1 && optionKind == "fill") fillDisk();
            return 0;
        case UM_DONE:
        case UM_ABORTED:
            std::fprintf(logFile, "END %s\n", message == UM_DONE ? "done" : "aborted");
            PostQuitMessage(0);
            return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

void runOne(const std::string& archive, const std::string& destination) {
    std::fprintf(logFile, "ARCHIVE %s\n", archive.c_str());
    archivePath = archive;
    InstallerState state;
    state.archiveStream = std::fopen(archive.c_str(), "rb");
    state.mainWindow = driverWindow;
    state.title.assign(kDefaultTitle);
    state.silent = true;
    state.destinationFolder.assign(destination.c_str());
    continueFlag = 1;
    entries = checks = 0;
    totalOriginalSize = doneOriginalSize = lastProgressPosition = 0;
    HANDLE held = INVALID_HANDLE_VALUE, loader = nullptr;
    if ((optionKind == "hold" || optionKind == "load") &&
        prepareDestination(state, destination.c_str())) {
        if (optionKind == "hold")
            held = CreateFileA(optionValue.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_ALWAYS, 0, nullptr);
        else
            loader = loadElsewhere(optionValue);
        RegSetValueA(HKEY_CLASSES_ROOT, kFileContextMenuKey, REG_SZ, kShellExtensionClsid, 0);
    }
    if (!state.archiveStream || !startExtraction(state)) {
        std::fprintf(logFile, "END not-started\n");
    } else {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    }
    // Unattended, each message goes to the log from a time stamp on; its lines are joined.
    char logPath[kPathCapacity];
    silentLogPath(logPath);
    std::ifstream silentLog(logPath);
    std::string messages;
    for (std::string line; std::getline(silentLog, line);) {
        const bool stamped = line.size() > 20 && line[4] == '-' && line[19] == ' ';
        messages += stamped ? "\nMSG " + line.substr(20) : " " + line;
    }
    if (!messages.empty()) std::fprintf(logFile, "%s\n", messages.c_str() + 1);
    silentLog.close();
    DeleteFileA(logPath);
    std::fprintf(logFile, "FAILED %d\nRESTART %d\nDESTINATION %s\nHANDLER-KEY %d\n",
                 state.failed ? 1 : 0, state.restartNeeded ? 1 : 0, state.destinationFolder.text(),
                 keyExists(HKEY_CLASSES_ROOT, kFileContextMenuKey));
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    if (loader) {
        TerminateProcess(loader, 0);
        WaitForSingleObject(loader, 10000);
        CloseHandle(loader);
    }
    if (optionKind == "fill") DeleteFileA("..\\filler");
    std::fflush(logFile);
    destroyInstaller(state);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--load") {
        if (!LoadLibraryA(argv[2])) return 3;
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
        SetEvent(ready);
        Sleep(INFINITE);
    }
    if (argc != 3) return 2;
    std::ifstream list(argv[1]);
    logFile = std::fopen(argv[2], "wb");
    if (!list || !logFile) return 2;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = driverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VopaExtractDriver";
    RegisterClassA(&wc);
    driverWindow = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, wc.hInstance, nullptr);
    progressSink = showPosition;
    char folder[MAX_PATH];  // each job starts here: the worker moves into its destination
    GetCurrentDirectoryA(sizeof folder, folder);
    for (std::string line; std::getline(list, line);) {
        SetCurrentDirectoryA(folder);
        const std::size_t tab = line.find('\t'), option = line.find('\t', tab + 1);
        const std::size_t colon = line.find(':', option);
        optionKind = line.substr(option + 1, colon - option - 1);
        optionValue = colon == std::string::npos ? "" : line.substr(colon + 1);
        optionNumber = static_cast<unsigned>(std::strtoul(optionValue.c_str(), nullptr, 10));
        runOne(line.substr(0, tab), line.substr(tab + 1, option - tab - 1));
    }
    std::fclose(logFile);
    return 0;
}
