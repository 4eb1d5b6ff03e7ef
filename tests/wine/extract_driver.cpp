// Runs startExtraction under Wine for each job of LIST against a hidden window with a
// message loop; logs what the main window would see and the unattended messages.
//   extract_driver LIST LOG
// LIST lines: ARCHIVE<TAB>DESTINATION<TAB>OPTION. Options clear continueFlag as the abort
// button does: abort:N once the bar reaches N while writing, check:N while checking,
// entry:K and checked:K at the K-th name written and checked. hold:NAME writes the file
// context-menu handler key and holds NAME in the destination open, as a shell does.
// cut:N cuts the archive to N bytes as the first name is written, after its check.
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
std::string optionKind, heldName, archivePath;
unsigned optionNumber, entries, checks;

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
    if (position >= optionNumber && optionKind == (entries ? "abort" : "check")) continueFlag = 0;
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
    HANDLE held = INVALID_HANDLE_VALUE;
    if (!heldName.empty() && prepareDestination(state, destination.c_str())) {
        held = CreateFileA(heldName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
        RegSetValueA(HKEY_CLASSES_ROOT, kFileContextMenuKey, REG_SZ, kShellExtensionClsid, 0);
    }
    if (!state.archiveStream || !startExtraction(state)) {
        std::fprintf(logFile, "END not-started\n");
    } else {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        // As the main window does on UM_ABORTED.
        if (!shouldContinue()) deleteUnfinishedMember(state);
    }
    // Unattended, each message goes to the log from a time stamp on; its lines are joined.
    std::ifstream silentLog(silentLogPath());
    std::string messages;
    for (std::string line; std::getline(silentLog, line);) {
        const bool stamped = line.size() > 20 && line[4] == '-' && line[19] == ' ';
        messages += stamped ? "\nMSG " + line.substr(20) : " " + line;
    }
    if (!messages.empty()) std::fprintf(logFile, "%s\n", messages.c_str() + 1);
    silentLog.close();
    DeleteFileA(silentLogPath().c_str());
    std::fprintf(logFile, "FAILED %d\nDESTINATION %s\nHANDLER-KEY %d\n", state.failed ? 1 : 0,
                 state.destinationFolder.text(), keyExists(HKEY_CLASSES_ROOT, kFileContextMenuKey));
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    std::fflush(logFile);
    destroyInstaller(state);
}

}  // namespace

int main(int argc, char** argv) {
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
        const std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        optionNumber = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        heldName = optionKind == "hold" ? value : "";
        runOne(line.substr(0, tab), line.substr(tab + 1, option - tab - 1));
    }
    std::fclose(logFile);
    return 0;
}
