// The PE32 lane's eyes inside the emulated Wine: it reads what the release installer left
// in the registry and the shell, and its option dialog as it lies on screen. A 32-bit
// program of our own, as the installer is, reading through the same 32-bit Wine.
//   probe shell                   the keys and shortcuts of a full unattended installation
//   probe dialog INSTALLER TITLE  the installer's dialog against its template, then Cancel
// Exit status: 0 as expected, 1 a difference (printed), 2 nothing to look at.
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/wine/dialog_layout.h"
#include "tests/wine/shell_listing.h"

namespace {

// Bytes of the files below `folder`, every one.
unsigned long long bytesBelow(const std::string& folder) {
    unsigned long long bytes = 0;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bytes += (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        else if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
            bytes += bytesBelow(folder + "\\" + found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return bytes;
}

// Switches -m -d -t -a -c and every type's word: all a command line can choose. The
// right-drag menu has no switch. The uninstall entry gives the installed files' size.
int checkShell() {
    int status = 0;
    const unsigned installedKb =
        static_cast<unsigned>((bytesBelow("C:\\Program Files\\Vopa") + 1023) / 1024);
    const std::string keys = dumpOurKeys(), expected = fullInstallListing(false, installedKb);
    if (keys != expected) {
        std::printf("registry:\n%s\nexpected:\n%s\n", keys.c_str(), expected.c_str());
        status = 1;
    }
    CoInitialize(nullptr);
    const std::string program = "C:\\Program Files\\Vopa\\Vopa.exe";
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_SENDTO}) {
        const std::string path = folderPath(csidl) + "\\Vopa.lnk", link = readLink(path);
        std::printf("%s: %s\n", path.c_str(), link.empty() ? "(none)" : link.c_str());
        if (link != program + "|C:\\Program Files\\Vopa|" + program + ",0") status = 1;
    }
    return status;
}

INT_PTR CALLBACK quietDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// The same template, made here: its controls lie where the template's dialog units put
// them in the template's font.
HWND dialogFromTemplate(const wchar_t* installer) {
    HMODULE image = LoadLibraryExW(installer, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = image ? FindResourceW(image, MAKEINTRESOURCEW(IDD_OPTIONS), MAKEINTRESOURCEW(5))
                        : nullptr;  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(image, found) : nullptr;
    if (!loaded) return nullptr;
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                      static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)), nullptr,
                                      quietDialogProc, 0);
}

std::string boxText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

int checkDialog(const wchar_t* installer, const wchar_t* title) {
    HWND shown = nullptr;
    for (int i = 0; i < 300 && !shown; ++i) {  // the lane starts this once the dialog shows
        shown = FindWindowW(L"#32770", title);
        if (shown && !IsWindowVisible(shown)) shown = nullptr;
        if (!shown) Sleep(100);
    }
    HWND made = dialogFromTemplate(installer);
    if (!shown || !made) {
        std::printf("%s\n", shown ? "no dialog template in the installer" : "no dialog shown");
        return 2;
    }
    int status = 0;
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(made, WM_GETFONT, 0, 0));
    LOGFONTA face = {};
    GetObjectA(font, sizeof face, &face);
    std::printf("template font: %s, %ld pixels\n", face.lfFaceName, face.lfHeight);
    RECT shownClient, madeClient;
    GetClientRect(shown, &shownClient);
    GetClientRect(made, &madeClient);
    std::printf("dialog: %s", boxText(shownClient).c_str());
    if (!EqualRect(&shownClient, &madeClient)) {
        std::printf("  (template: %s)", boxText(madeClient).c_str());
        status = 1;
    }
    std::printf("\n");
    const std::vector<ControlBox> controls = dialogControls(shown), expected = dialogControls(made);
    if (controls.size() != expected.size()) {
        std::printf("%zu controls, the template has %zu\n", controls.size(), expected.size());
        status = 1;
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlBox& c = controls[i];
        std::printf("%5d %s", c.id, boxText(c.box).c_str());
        if (i < expected.size() &&
            (c.id != expected[i].id || !EqualRect(&c.box, &expected[i].box))) {
            std::printf("  (template: %d %s)", expected[i].id, boxText(expected[i].box).c_str());
            status = 1;
        }
        std::printf("\n");
    }
    for (const std::string& fault : layoutFaults(shown, font)) {
        std::printf("%s\n", fault.c_str());
        status = 1;
    }
    DestroyWindow(made);
    PostMessageW(shown, WM_COMMAND, IDCANCEL, 0);
    return status;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::wstring verb = count > 1 ? args[1] : L"";
    int status = 2;
    if (verb == L"shell" && count == 2) status = checkShell();
    else if (verb == L"dialog" && count == 4) status = checkDialog(args[2], args[3]);
    else
        std::printf("usage: probe shell | dialog INSTALLER TITLE\n");
    std::fflush(stdout);
    return status;
}
