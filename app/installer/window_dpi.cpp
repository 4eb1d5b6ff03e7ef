#include "app/installer/window_dpi.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// Null where this Windows lacks it (before Windows 10 1607).
template <class Function>
Function user32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

int systemDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kLayoutDpi;
}

}  // namespace

int windowDpi(HWND window) {
    auto forWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    int dpi = forWindow ? static_cast<int>(forWindow(window)) : 0;
    return dpi > 0 ? dpi : systemDpi();
}

int scaleToDpi(int pixels, int dpi) { return MulDiv(pixels, dpi, kLayoutDpi); }

SIZE windowSizeForDpi(int width, int height, DWORD style, int dpi) {
    auto adjust = user32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    // Without it there is no frame for another DPI to take off: the whole window scales,
    // which leaves the client at least its share, frames growing no faster than the DPI.
    if (!adjust) return {scaleToDpi(width, dpi), scaleToDpi(height, dpi)};
    RECT at96 = {}, atDpi = {};
    adjust(&at96, style, FALSE, 0, kLayoutDpi);
    adjust(&atDpi, style, FALSE, 0, static_cast<UINT>(dpi));
    return {scaleToDpi(width - (at96.right - at96.left), dpi) + (atDpi.right - atDpi.left),
            scaleToDpi(height - (at96.bottom - at96.top), dpi) + (atDpi.bottom - atDpi.top)};
}

HFONT makeGuiFont(int dpi) {
    LOGFONTA face;
    if (!GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face)) return nullptr;
    const int system = systemDpi();
    face.lfHeight = MulDiv(face.lfHeight, dpi, system);
    face.lfWidth = MulDiv(face.lfWidth, dpi, system);
    return CreateFontIndirectA(&face);
}
