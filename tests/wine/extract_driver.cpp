// Test driver for the extraction worker under Wine: runs startExtraction for each
// archive of a list against a hidden window with a message loop, and logs what the
// main window would see: member names, progress positions, message-box texts (closed
// by a timer) and the final message.
//   extract_driver LIST LOG
// LIST holds lines "ARCHIVE<TAB>DESTINATION[<TAB>OPTION]", OPTION one of abort:POSITION,
// check:POSITION, entry:K, checked:K and hold:NAME. The driver clears continueFlag, as
// the abort button does, when the bar reaches POSITION while members are written (check:
// while the archive is checked), or when the K-th name arrives (checked: the K-th name
// checked). hold:NAME keeps NAME in the destination open unshared, as a shell holds a
// loaded extension, after writing the file context-menu handler key, whose presence it
// logs at the end.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/installer_state.h"
#include "extract/entry_output.h"
#include "extract/extraction_worker.h"
#include "extract/progress.h"
#include "shell/association_table.h"

namespace {

constexpr UINT kSetPosition = WM_USER + 2;  // PBM_SETPOS
std::FILE* logFile;
HWND driverWindow;
unsigned abortAt, abortAtEntry, abortAtCheck, entries, checks;
bool abortWhileChecking;
std::string heldName;

void sendPosition(std::uint32_t position) { SendMessageA(driverWindow, kSetPosition, position, 0); }

BOOL CALLBACK closeMessageBox(HWND window, LPARAM) {
    static HWND logged;  // a box stays until our IDOK arrives: a busy machine sees it twice
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0 &&
        IsWindowVisible(window) && window != logged) {
        char text[1024] = {};
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        if (!*text) return TRUE;  // not filled in yet
        logged = window;
        std::string one = text;
        for (char& c : one)
            if (c == '\n' || c == '\r') c = ' ';
        std::fprintf(logFile, "MSG %s\n", one.c_str());
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

LRESULT CALLBACK driverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case UM_CHECK_ENTRY:
            if (++checks == abortAtCheck) continueFlag = 0;
            return 0;
        case UM_SHOW_ENTRY:
            std::fprintf(logFile, "ENTRY %s\n", reinterpret_cast<const char*>(lParam));
            if (++entries == abortAtEntry) continueFlag = 0;
            return 0;
        case kSetPosition:
            std::fprintf(logFile, "POS %u\n", static_cast<unsigned>(wParam));
            if (abortAt && wParam >= abortAt && (entries == 0) == abortWhileChecking)
                continueFlag = 0;
            return 0;
        case WM_TIMER: EnumWindows(closeMessageBox, 0); return 0;
        case UM_DONE:
        case UM_ABORTED:
            std::fprintf(logFile, "END %s\n", message == UM_DONE ? "done" : "aborted");
            PostQuitMessage(0);
            return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// The number after `kind` when the option is of that kind, else 0.
unsigned numberOf(const std::string& option, const char* kind) {
    if (option.rfind(kind, 0) != 0) return 0;
    return static_cast<unsigned>(std::stoul(option.substr(std::strlen(kind))));
}

void setOption(const std::string& option) {
    abortWhileChecking = option.rfind("check:", 0) == 0;
    abortAt = numberOf(option, "abort:") + numberOf(option, "check:");
    abortAtEntry = numberOf(option, "entry:");
    abortAtCheck = numberOf(option, "checked:");
    heldName = option.rfind("hold:", 0) == 0 ? option.substr(5) : "";
}

void runOne(const std::string& archive, const std::string& destination) {
    std::fprintf(logFile, "ARCHIVE %s\n", archive.c_str());
    InstallerState state;
    state.archiveStream = std::fopen(archive.c_str(), "rb");
    state.mainWindow = driverWindow;
    state.title.assign(kDefaultTitle);
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
    std::fprintf(logFile, "FAILED %d\nDESTINATION %s\n", state.failed ? 1 : 0,
                 state.destinationFolder.text());
    LONG size = 0;
    const bool handlerKey =
        RegQueryValueA(HKEY_CLASSES_ROOT, kFileContextMenuKey, nullptr, &size) == ERROR_SUCCESS;
    if (!heldName.empty()) std::fprintf(logFile, "HANDLER-KEY %d\n", handlerKey ? 1 : 0);
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
    SetTimer(driverWindow, 1, 50, nullptr);
    progressSink = sendPosition;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t tab = line.find('\t'), option = line.find('\t', tab + 1);
        if (tab == std::string::npos) continue;
        setOption(option == std::string::npos ? "" : line.substr(option + 1));
        runOne(line.substr(0, tab), line.substr(tab + 1, option - tab - 1));
    }
    std::fclose(logFile);
    return 0;
}
