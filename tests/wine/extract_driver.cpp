// Test driver for the extraction worker under Wine: runs startExtraction for each
// archive of a list against a hidden window with a message loop, and logs what the
// main window would see: member names, progress positions, message-box texts (closed
// by a timer) and the final message.
//   extract_driver LIST LOG [abort-at-position | check:position | entry:K | hold:NAME]
// LIST holds lines "ARCHIVE<TAB>DESTINATION". The driver clears continueFlag, as the
// abort button does, when the bar reaches the position while members are written (or
// while the archive is checked), or when the K-th name arrives. hold:NAME keeps NAME in
// each destination open unshared, as a shell holds a loaded extension, after writing
// the file context-menu handler key, whose presence it logs at the end.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/installer_state.h"
#include "extract/entry_output.h"
#include "extract/extraction_worker.h"
#include "extract/progress.h"
#include "shell/association_table.h"

namespace {

constexpr UINT kSetPosition = WM_USER + 2;  // PBM_SETPOS
std::FILE* logFile;
HWND driverWindow;
unsigned abortAt, abortAtEntry, entries;
bool abortWhileChecking;
const char* heldName;

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
            std::fprintf(logFile, "CHECK %s\n", reinterpret_cast<const char*>(lParam));
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

void runOne(const std::string& archive, const std::string& destination) {
    std::fprintf(logFile, "ARCHIVE %s\n", archive.c_str());
    InstallerState state;
    state.archiveStream = std::fopen(archive.c_str(), "rb");
    state.mainWindow = driverWindow;
    state.title.assign(kDefaultTitle);
    state.destinationFolder.assign(destination.c_str());
    continueFlag = 1;
    entries = 0;
    totalOriginalSize = doneOriginalSize = lastProgressPosition = 0;
    HANDLE held = INVALID_HANDLE_VALUE;
    if (heldName && prepareDestination(state, destination.c_str())) {
        held = CreateFileA(heldName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                           nullptr);
        HKEY key;
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, kFileContextMenuKey, &key) == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    if (!state.archiveStream || !startExtraction(state)) {
        std::fprintf(logFile, "END not-started\n");
    } else {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        // As the main window does on UM_ABORTED.
        if (!shouldContinue()) deleteUnfinishedMember(state);
    }
    std::fprintf(logFile, "FAILED %d\nDESTINATION %s\n", state.failed ? 1 : 0,
                 state.destinationFolder.text());
    if (heldName) {
        HKEY key;
        bool present = RegOpenKeyA(HKEY_CLASSES_ROOT, kFileContextMenuKey, &key) == ERROR_SUCCESS;
        if (present) RegCloseKey(key);
        std::fprintf(logFile, "HANDLER-KEY %d\n", present ? 1 : 0);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    }
    std::fflush(logFile);
    destroyInstaller(state);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::FILE* list = std::fopen(argv[1], "rb");
    logFile = std::fopen(argv[2], "wb");
    if (!list || !logFile) return 2;
    if (argc > 3 && std::strncmp(argv[3], "entry:", 6) == 0)
        abortAtEntry = static_cast<unsigned>(std::atoi(argv[3] + 6));
    else if (argc > 3 && std::strncmp(argv[3], "hold:", 5) == 0) heldName = argv[3] + 5;
    else if (argc > 3 && std::strncmp(argv[3], "check:", 6) == 0) {
        abortWhileChecking = true;
        abortAt = static_cast<unsigned>(std::atoi(argv[3] + 6));
    } else if (argc > 3) {
        abortAt = static_cast<unsigned>(std::atoi(argv[3]));
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = driverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VopaExtractDriver";
    RegisterClassA(&wc);
    driverWindow = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, wc.hInstance, nullptr);
    SetTimer(driverWindow, 1, 50, nullptr);
    progressSink = sendPosition;
    char line[2048];
    while (std::fgets(line, sizeof line, list)) {
        std::string l = line;
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        std::size_t tab = l.find('\t');
        if (tab != std::string::npos) runOne(l.substr(0, tab), l.substr(tab + 1));
    }
    std::fclose(logFile);
    return 0;
}
