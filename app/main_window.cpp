#include "app/main_window.h"

#include <commctrl.h>

#include "app/entry_display.h"
#include "app/installer_state.h"
#include "app/option_dialog.h"
#include "app/startup.h"
#include "app/user_messages.h"
#include "extract/entry_output.h"
#include "extract/extraction_worker.h"
#include "extract/progress.h"
#include "res/resource_ids.h"
#include "shell/registration.h"
#include "shell/shortcuts.h"

namespace {

constexpr const char kRestartCompletes[] =
    "使用中のファイルがあるため、コンピュータを再起動すると更新が完了します。";

bool initialised = false;
InstallerState* windowState = nullptr;
HWND progressBar = nullptr;

void sendProgressPosition(std::uint32_t position) {
    SendMessageA(progressBar, PBM_SETPOS, position, 0);
}

HWND makeChild(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w,
               int h, int id, bool withFont) {
    HWND child =
        CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), moduleInstance, nullptr);
    if (child && withFont)
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
    return child;
}

void startRun(InstallerState& state) {
    HWND window = state.mainWindow;
    if (!state.unattended && state.setupBlockRead) {
        INT_PTR result = DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_OPTIONS), window,
                                         optionDialogProc, reinterpret_cast<LPARAM>(&state));
        if (result != 0) {
            DestroyWindow(window);
            return;
        }
    }
    SetWindowTextA(window, state.title.text());
    if (!state.silent) ShowWindow(window, SW_SHOW);
    if (!startExtraction(state)) {
        DestroyWindow(window);
        return;
    }
    state.workerRunning = true;
}

}  // namespace

void completeInstallation(InstallerState& state) {
    if (state.setupBlockRead) createShortcuts(state);
    if (!state.launchFile.empty()) launchProgram(state);
    registerAll(state);
}

void showEntryPath(InstallerState& state, const char* name) {
    HWND label = state.pathLabel;
    HDC dc = GetDC(label);
    std::string shown;
    if (!dc) {
        shown = displayForm(name);
    } else {
        HGDIOBJ previous = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        RECT client;
        GetClientRect(label, &client);
        shown = shortenEntryName(name, [&](const std::string& text) {
            SIZE size;
            if (!GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size))
                return true;  // cannot measure: show it as it stands
            return size.cx <= client.right;
        });
        SelectObject(dc, previous);
        ReleaseDC(label, dc);
    }
    SetWindowTextA(label, shown.c_str());
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    InstallerState* state = windowState;
    switch (message) {
        case WM_CREATE:
            windowState = static_cast<InstallerState*>(
                reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
            return 0;
        case WM_DESTROY: PostQuitMessage(state ? state->exitCode : kExitNotInstalled); return 0;
        case WM_CLOSE:
            // Nothing stops a commit half done: it is only renames, and short.
            if (state && state->committing) return 0;
            // The worker still uses the state: stop it and finish on its last message.
            if (state && state->workerRunning) {
                continueFlag.store(0, std::memory_order_relaxed);
                state->closeRequested = true;
                return 0;
            }
            DestroyWindow(window);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABORT && !state->committing)
                continueFlag.store(0, std::memory_order_relaxed);
            return 0;
        case UM_COMMIT:
            state->committing = true;
            EnableWindow(state->abortButton, FALSE);
            return 0;
        case UM_START: startRun(*state); return 0;
        case UM_SHOW_ENTRY: showEntryPath(*state, reinterpret_cast<const char*>(lParam)); return 0;
        case UM_CHECK_ENTRY:
            showEntryPath(*state,
                          (std::string("確認中 ") + reinterpret_cast<const char*>(lParam)).c_str());
            return 0;
        case UM_DONE:
            state->workerRunning = false;
            if (!state->failed) {
                completeInstallation(*state);
                state->exitCode = state->restartNeeded ? kExitRestartNeeded : kExitInstalled;
                if (state->restartNeeded) tellUser(*state, kRestartCompletes);
                if (state->silent)
                    writeSilentLog(
                        (std::string("インストールしました: ") + state->destinationFolder.text())
                            .c_str());
            }
            DestroyWindow(window);
            return 0;
        case UM_ABORTED:  // the worker has undone what it did
            state->workerRunning = false;
            DestroyWindow(window);
            return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool createInstaller(InstallerState& state, HINSTANCE instance, const char* commandTail) {
    if (!initialised) {
        if (!initApplication(state, instance, commandTail)) return false;
        initialised = true;
    }
    POINT mouse = {};
    GetCursorPos(&mouse);
    HWND window =
        CreateWindowExA(0, kMainWindowClass, kDefaultTitle, WS_POPUP | WS_CAPTION | WS_SYSMENU,
                        mouse.x - 110, mouse.y + 32, 220, 100, nullptr, nullptr, instance, &state);
    if (!window) return false;
    state.mainWindow = window;
    state.pathLabel = makeChild(window, "STATIC", "", SS_LEFT, 7, 5, 200, 15, 0, true);
    progressBar = makeChild(window, PROGRESS_CLASSA, "", PBS_SMOOTH, 7, 23, 200, 20, 0, false);
    state.abortButton =
        makeChild(window, "BUTTON", "中止", BS_PUSHBUTTON, 65, 50, 88, 19, IDC_ABORT, true);
    if (!state.pathLabel || !progressBar || !state.abortButton) return false;
    progressSink = sendProgressPosition;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    PostMessageA(window, UM_START, 0, 0);
    return true;
}

int runMessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
