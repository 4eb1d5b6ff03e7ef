// Runs startExtraction under Wine for each job of LIST against a hidden window with a
// message loop; logs what the main window would see and the unattended messages.
//   extract_driver LIST LOG
// LIST lines: ARCHIVE<TAB>DESTINATION<TAB>OPTION. Options clear continueFlag as the abort
// button does: abort:N once the bar reaches N while writing, entry:K and checked:K at the
// K-th name written and checked. hold:NAME writes the file context-menu handler key and
// holds NAME in the destination open with no sharing (made when missing), as a program
// or a scanner may. load:NAME has another process load NAME, a DLL in the destination,
// as a shell loads its extension. cut:N cuts the archive to N bytes as the first name is
// written, after its check; fill fills the destination's disk then. runtime:ROUTE runs
// the job in another process, on the stub's runtime, that asks for more memory than
// there is, breaks a rule of the C++ library or races to a static, by ROUTE (see
// tryRuntime); its exit status is the end.
//   extract_driver --load DLL EVENT   (that other process: loads, signals, waits)
//   extract_driver --runtime ROUTE ARCHIVE DESTINATION   (that other process)
#include <process.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "app/installer/installer_state.h"
#include "app/stub/stub_runtime.h"
#include "app/installer/user_messages.h"
#include "extract/installer/entry_output.h"
#include "extract/installer/extraction_worker.h"
#include "extract/lha/progress.h"
#include "shell/association_table.h"
#include "shell/registry.h"

namespace {

std::FILE* logFile;
HWND driverWindow;
std::string optionKind, optionValue, archivePath;
unsigned optionNumber, entries, checks;

// The next line of `f` without its end; false at the end. (No iostreams: this program
// is built on the stub's runtime, which has none.)
bool readLine(std::FILE* f, std::string& line) {
    char part[1024];
    line.clear();
    while (std::fgets(part, sizeof part, f)) {
        line += part;
        if (line.back() == '\n') break;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return !line.empty() || !std::feof(f);
}

// Fills the disk of the destination (the current folder) with a file beside it.
void fillDisk() {
    HANDLE file = CreateFileA("..\\filler", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    static char zeros[1 << 16];
    DWORD written = 1;
    while (written && WriteFile(file, zeros, sizeof zeros, &written, nullptr)) {}
    CloseHandle(file);
}

// This program started again with `arguments`; its handle, or null.
HANDLE startSelf(const std::string& arguments) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = std::string("\"") + self + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Another process that holds `dll` loaded until it is ended.
HANDLE loadElsewhere(const std::string& dll) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "VopaDriverLoaded");
    char full[MAX_PATH];
    GetFullPathNameA(dll.c_str(), sizeof full, full, nullptr);
    HANDLE process = startSelf(std::string("--load \"") + full + "\" VopaDriverLoaded");
    if (!process || WaitForSingleObject(ready, 60000) != WAIT_OBJECT_0)
        std::fprintf(logFile, "LOAD failed\n");
    CloseHandle(ready);
    return process;
}

// This program run again with `arguments`; its exit status, or -1.
long runSelf(const std::string& arguments) {
    HANDLE process = startSelf(arguments);
    if (!process) return -1;
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &status))
        TerminateProcess(process, status);
    CloseHandle(process);
    return static_cast<long>(status);
}

// More than half the address space: no allocator can give it, on either build.
volatile std::size_t tooMuch = static_cast<std::size_t>(-1) / 2 + 1;
char* volatile kept;

// A static whose value takes a while to make, so that a second thread comes while the
// first makes it.
int staticsMade;
int& slowStatic() {
    static int value = (Sleep(300), ++staticsMade, 42);
    return value;
}
unsigned __stdcall useSlowStatic(void*) { return static_cast<unsigned>(slowStatic()); }

// What ROUTE does in the other process, where the stub's runtime must end it with the
// installer's message and status 1; 0 when it came back (the nothrow form and the
// static must, the static made once and seen by both threads).
int tryRuntime(const std::string& route, InstallerState& state) {
    if (route == "new") kept = new char[tooMuch];
    if (route == "nothrow") return (kept = new (std::nothrow) char[tooMuch]) ? 3 : 0;
    if (route == "string") std::string().reserve(tooMuch);  // past max_size: length_error
    if (route == "vector") std::vector<int>().reserve(tooMuch);
    if (route == "substr") std::string("ab").substr(3);  // out_of_range
    if (route == "function") std::function<void()>()();
    if (route == "static") {
        HANDLE other = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, useSlowStatic, nullptr, 0, nullptr));
        const int here = slowStatic();
        DWORD there = 0;
        WaitForSingleObject(other, INFINITE);
        GetExitCodeThread(other, &there);
        return here == 42 && there == 42 && staticsMade == 1 ? 0 : 5;
    }
    if (route == "worker") {  // on the worker thread, as its bar starts
        progressSink = [](std::uint32_t) { kept = new char[tooMuch]; };
        if (!startExtraction(state)) return 4;
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    }
    return 0;
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
    if (optionKind == "runtime") {
        std::fprintf(
            logFile, "END exit %ld\n",
            runSelf("--runtime " + optionValue + " \"" + archive + "\" \"" + destination + "\""));
    } else if (!state.archiveStream || !startExtraction(state)) {
        std::fprintf(logFile, "END not-started\n");
    } else {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    }
    // Unattended, each message goes to the log from a time stamp on; its lines are joined.
    char logPath[kPathCapacity];
    silentLogPath(logPath);
    std::string messages;
    if (std::FILE* silentLog = std::fopen(logPath, "r")) {
        for (std::string line; readLine(silentLog, line);) {
            const bool stamped = line.size() > 20 && line[4] == '-' && line[19] == ' ';
            messages += stamped ? "\nMSG " + line.substr(20) : " " + line;
        }
        std::fclose(silentLog);
    }
    if (!messages.empty()) std::fprintf(logFile, "%s\n", messages.c_str() + 1);
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
    const bool runtimeChild = argc == 5 && std::string(argv[1]) == "--runtime";
    if (argc != 3 && !runtimeChild) return 2;
    std::FILE* list = runtimeChild ? nullptr : std::fopen(argv[1], "r");
    logFile = std::fopen(runtimeChild ? "NUL" : argv[2], "wb");
    if ((!list && !runtimeChild) || !logFile) return 2;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = driverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VopaExtractDriver";
    RegisterClassA(&wc);
    driverWindow = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, wc.hInstance, nullptr);
    progressSink = showPosition;
    if (runtimeChild) {
        InstallerState state;
        state.archiveStream = std::fopen(argv[3], "rb");
        state.mainWindow = driverWindow;
        state.silent = true;
        state.destinationFolder.assign(argv[4]);
        watchRuntimeFailures(state);
        return tryRuntime(argv[2], state);
    }
    char folder[MAX_PATH];  // each job starts here: the worker moves into its destination
    GetCurrentDirectoryA(sizeof folder, folder);
    for (std::string line; readLine(list, line);) {
        SetCurrentDirectoryA(folder);
        const std::size_t tab = line.find('\t'), option = line.find('\t', tab + 1);
        const std::size_t colon = line.find(':', option);
        optionKind = line.substr(option + 1, colon - option - 1);
        optionValue = colon == std::string::npos ? "" : line.substr(colon + 1);
        optionNumber = static_cast<unsigned>(std::strtoul(optionValue.c_str(), nullptr, 10));
        runOne(line.substr(0, tab), line.substr(tab + 1, option - tab - 1));
    }
    std::fclose(list);
    std::fclose(logFile);
    return 0;
}
