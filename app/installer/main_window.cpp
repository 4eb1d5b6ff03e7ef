#include "app/installer/main_window.h"

#include <commctrl.h>

#include "app/installer/entry_display.h"
#include "app/installer/installer_state.h"
#include "app/installer/option_dialog.h"
#include "app/installer/startup.h"
#include "app/installer/user_messages.h"
#include "app/installer/user_texts.h"
#include "app/installer/window_dpi.h"
#include "extract/installer/entry_output.h"
#include "extract/installer/extraction_worker.h"
#include "extract/lha/progress.h"
#include "res/resource_ids.h"
#include "shell/registration.h"
#include "shell/shortcuts.h"

namespace {

bool initialised = false;
constexpr DWORD kEntryShownEvery = 30;  // ms
DWORD entryShownAt = 0;
InstallerState* windowState = nullptr;
HWND progressBar = nullptr;

void sendProgressPosition(std::uint32_t position) {
    SendMessageA(progressBar, PBM_SETPOS, position, 0);
}

// The progress window as it was drawn for 96 DPI, in pixels: 220 x 100 outside, and
// within it the label and the bar 200 wide at 7 from the left, the abort button under
// them near the middle. Every size is scaled to the window's DPI.
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr int kWindowWidth = 220, kWindowHeight = 100;
constexpr int kCursorGap = 32;  // from the mouse down to the window: clear of the cursor

struct ControlBox {
    int x, y, width, height;  // in the client area
};
constexpr ControlBox kLabelBox = {7, 5, 200, 15};
constexpr ControlBox kBarBox = {7, 23, 200, 20};
constexpr ControlBox kAbortBox = {65, 50, 88, 19};

// Made with no size: fitToDpi places it. The stock font stays when no other can be made.
HWND makeChild(HWND parent, const char* cls, const char* text, DWORD style, int id, bool withFont) {
    HWND child =
        CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), moduleInstance, nullptr);
    if (child && withFont)
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
    return child;
}

void place(HWND control, const ControlBox& box, int dpi) {
    MoveWindow(control, scaleToDpi(box.x, dpi), scaleToDpi(box.y, dpi), scaleToDpi(box.width, dpi),
               scaleToDpi(box.height, dpi), TRUE);
}

HGDIOBJ labelFont(const InstallerState& state) {
    return reinterpret_cast<HGDIOBJ>(SendMessageA(state.pathLabel, WM_GETFONT, 0, 0));
}

// Lays out the controls, with their font, for `dpi` and puts the window at `frame`. The
// move comes last: should it take the window to a monitor of another DPI, the layout
// for that one (WM_DPICHANGED, sent during the move) is the one that stays.
void fitToDpi(InstallerState& state, int dpi, const RECT& frame) {
    place(state.pathLabel, kLabelBox, dpi);
    place(progressBar, kBarBox, dpi);
    place(state.abortButton, kAbortBox, dpi);
    if (HFONT font = makeGuiFont(dpi)) {
        HGDIOBJ previous = labelFont(state);  // deleting the stock font does nothing
        SendMessageA(state.pathLabel, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        SendMessageA(state.abortButton, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        DeleteObject(previous);
    }
    SetWindowPos(state.mainWindow, nullptr, frame.left, frame.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
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

// The completion work that follows a successful extraction: shortcuts, launch file,
// registration.
void completeInstallation(InstallerState& state) {
    if (state.setupBlockRead) createShortcuts(state);
    if (!state.launchFile.empty()) launchProgram(state);
    registerAll(state);
}

}  // namespace


void showEntryPath(InstallerState& state, const char* name) {
    HWND label = state.pathLabel;
    HDC dc = GetDC(label);
    std::string shown;
    if (!dc) {
        shown = displayForm(name);
    } else {
        HGDIOBJ font = labelFont(state);  // measured as it is drawn
        HGDIOBJ previous = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
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
        case WM_DESTROY:
            if (state) DeleteObject(labelFont(*state));
            PostQuitMessage(state ? state->exitCode : kExitNotInstalled);
            return 0;
        case WM_DPICHANGED:  // moved to a monitor of another DPI, or its scale changed
            if (state) fitToDpi(*state, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
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
        case UM_SHOW_ENTRY:
            // Names faster than anyone reads them (thousands of small files) are shown
            // one now and then; a hidden window shows none.
            if (!state->silent && GetTickCount() - entryShownAt >= kEntryShownEvery) {
                entryShownAt = GetTickCount();
                showEntryPath(*state, reinterpret_cast<const char*>(lParam));
            }
            return 0;
        case UM_CHECK_ENTRY:
            showEntryPath(*state,
                          (std::string(kChecking) + reinterpret_cast<const char*>(lParam)).c_str());
            return 0;
        case UM_DONE:
            state->workerRunning = false;
            if (!state->failed) {
                completeInstallation(*state);
                state->exitCode = state->restartNeeded ? kExitRestartNeeded : kExitInstalled;
                if (state->restartNeeded) tellUser(*state, kRestartCompletes);
                if (state->silent)
                    writeSilentLog(
                        (std::string(kInstalledTo) + state->destinationFolder.text())
                            .c_str());
            }
            DestroyWindow(window);
            return 0;
        case UM_ABORTED:  // the worker has undone what it did
            state->workerRunning = false;
            if (state->silent) writeSilentLog(kStopped);
            DestroyWindow(window);
            return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool createProgressWindow(InstallerState& state, HINSTANCE instance) {
    POINT mouse = {};
    GetCursorPos(&mouse);
    HWND window = CreateWindowExA(0, kMainWindowClass, kDefaultTitle, kWindowStyle,
                                  mouse.x - kWindowWidth / 2, mouse.y + kCursorGap, kWindowWidth,
                                  kWindowHeight, nullptr, nullptr, instance, &state);
    if (!window) return false;
    state.mainWindow = window;
    state.pathLabel = makeChild(window, "STATIC", "", SS_LEFT, 0, true);
    progressBar = makeChild(window, PROGRESS_CLASSA, "", PBS_SMOOTH, 0, false);
    state.abortButton = makeChild(window, "BUTTON", kAbortLabel, BS_PUSHBUTTON, IDC_ABORT, true);
    if (!state.pathLabel || !progressBar || !state.abortButton) return false;
    // Made, it has the DPI of the monitor it was put on, below the mouse.
    const int dpi = windowDpi(window);
    const SIZE size = windowSizeForDpi(kWindowWidth, kWindowHeight, kWindowStyle, dpi);
    const int x = mouse.x - size.cx / 2, y = mouse.y + scaleToDpi(kCursorGap, dpi);
    fitToDpi(state, dpi, RECT{x, y, x + size.cx, y + size.cy});
    return true;
}

bool createInstaller(InstallerState& state, HINSTANCE instance, const char* commandTail) {
    if (!initialised) {
        if (!initApplication(state, instance, commandTail)) return false;
        initialised = true;
    }
    if (!createProgressWindow(state, instance)) return false;
    progressSink = sendProgressPosition;
    ShowWindow(state.mainWindow, SW_HIDE);
    UpdateWindow(state.mainWindow);
    PostMessageA(state.mainWindow, UM_START, 0, 0);
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
