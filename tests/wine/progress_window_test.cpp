// The progress window drawn for its DPI: for the session's (ctest runs this at 96, 144
// and 192 DPI, set as LogPixels), and for each DPI that WM_DPICHANGED brings, which
// Wine, with one DPI a session, never sends by itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <utility>

#include "app/installer/installer_state.h"
#include "app/installer/main_window.h"

namespace {

struct Box {
    int x, y, width, height;
};

// Written out by hand: the 96-DPI layout scaled, halves rounded up; the font is the stock
// GUI font's -12 at 96 DPI, scaled the same.
struct Layout {
    int dpi;
    Box label, bar, abort;
    int fontHeight;
    int clientWidth, clientHeight;  // as made: 220 x 100 at 96 DPI less Wine's frame
    POINT corner;                   // as made with the mouse at (500, 300)
};
const Layout kLayouts[] = {
    {96, {7, 5, 200, 15}, {7, 23, 200, 20}, {65, 50, 88, 19}, -12, 214, 75, {390, 332}},
    {144, {11, 8, 300, 23}, {11, 35, 300, 30}, {98, 75, 132, 29}, -18, 321, 113, {337, 348}},
    {192, {14, 10, 400, 30}, {14, 46, 400, 40}, {130, 100, 176, 38}, -24, 428, 150, {283, 364}},
};

int sessionDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

RECT clientBox(HWND control) {
    RECT box;
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    return box;
}

std::string text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}
std::string text(const Box& b) { return text(RECT{b.x, b.y, b.x + b.width, b.y + b.height}); }

SIZE extent(HDC dc, const std::string& s) {
    SIZE size = {};
    GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
    return size;
}

// The controls where the layout puts them, inside the client area and apart, drawn with
// a font made for the DPI, their texts uncut.
void expectLaidOut(const InstallerState& s, const Layout& at) {
    const HWND bar = FindWindowExA(s.mainWindow, nullptr, PROGRESS_CLASSA, nullptr);
    const std::pair<HWND, Box> controls[] = {
        {s.pathLabel, at.label}, {bar, at.bar}, {s.abortButton, at.abort}};
    RECT client, inside;
    GetClientRect(s.mainWindow, &client);
    for (const auto& [control, box] : controls) {
        const RECT r = clientBox(control);
        EXPECT_EQ(text(r), text(box)) << at.dpi << " DPI";
        EXPECT_TRUE(IntersectRect(&inside, &r, &client) && EqualRect(&inside, &r))
            << at.dpi << " DPI: " << text(r) << " outside " << text(client);
        for (const auto& [other, unused] : controls) {
            const RECT o = clientBox(other);
            EXPECT_TRUE(other == control || !IntersectRect(&inside, &r, &o)) << at.dpi << " DPI";
        }
    }
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(s.pathLabel, WM_GETFONT, 0, 0));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(s.abortButton, WM_GETFONT, 0, 0)), font);
    LOGFONTA face = {};
    GetObjectA(font, sizeof face, &face);
    EXPECT_EQ(face.lfHeight, at.fontHeight) << at.dpi << " DPI";
    HDC dc = GetDC(s.mainWindow);
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    EXPECT_LE(metrics.tmHeight, at.label.height) << at.dpi << " DPI: the label cuts its text";
    const SIZE abort = extent(dc, "中止");
    EXPECT_LE(abort.cx + 4, at.abort.width) << at.dpi << " DPI";
    EXPECT_LE(metrics.tmHeight + 4, at.abort.height) << at.dpi << " DPI";
    SelectObject(dc, previous);
    ReleaseDC(s.mainWindow, dc);
}

}  // namespace

TEST(ProgressWindow, LaidOutForTheSessionsDpiAndEachDpiItMovesTo) {
    const int session = sessionDpi();
    const Layout* made = nullptr;
    for (const Layout& at : kLayouts)
        if (at.dpi == session) made = &at;
    ASSERT_TRUE(made) << "a session at " << session << " DPI";

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassA(&windowClass);
    SetCursorPos(500, 300);
    InstallerState s;
    ASSERT_TRUE(createProgressWindow(s, GetModuleHandleA(nullptr)));
    RECT window, client;
    GetWindowRect(s.mainWindow, &window);
    GetClientRect(s.mainWindow, &client);
    EXPECT_EQ(std::to_string(window.left) + "," + std::to_string(window.top) + " client " +
                  std::to_string(client.right) + "x" + std::to_string(client.bottom),
              std::to_string(made->corner.x) + "," + std::to_string(made->corner.y) + " client " +
                  std::to_string(made->clientWidth) + "x" + std::to_string(made->clientHeight));
    expectLaidOut(s, *made);

    // As a move to a monitor of each DPI: the window takes the rectangle Windows suggests.
    for (const Layout& at : kLayouts) {
        RECT suggested = {40, 50, 40 + at.clientWidth + 30, 50 + at.clientHeight + 60};
        SendMessageA(s.mainWindow, WM_DPICHANGED, MAKEWPARAM(at.dpi, at.dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        GetWindowRect(s.mainWindow, &window);
        EXPECT_EQ(text(window), text(suggested)) << at.dpi << " DPI";
        expectLaidOut(s, at);
    }

    // The last move was to 192 DPI: a long name is shortened with the font it is drawn in.
    showEntryPath(s, ("docs/" + std::string(60, 'n') + "/お読みください.txt").c_str());
    char shown[512] = {};
    GetWindowTextA(s.pathLabel, shown, sizeof shown);
    HDC dc = GetDC(s.pathLabel);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(s.pathLabel, WM_GETFONT, 0, 0)));
    GetClientRect(s.pathLabel, &client);
    EXPECT_LE(extent(dc, shown).cx, client.right) << shown;
    EXPECT_NE(std::string(shown).find("..."), std::string::npos) << shown;
    SelectObject(dc, previous);
    ReleaseDC(s.pathLabel, dc);

    DestroyWindow(s.mainWindow);
    MSG quit;  // the window posts its quit message: not for the tests that follow
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
