// The option dialog's controls as they lie on screen, and what a person would find wrong
// with them. Works on a dialog of this process and on the installer's own from outside.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct ControlBox {
    int id;
    RECT box;          // in the dialog's client area
    std::string text;  // as created, without the '&' marks
    LONG style;
};

// In the template's order: a dialog makes its controls in that order.
std::vector<ControlBox> dialogControls(HWND dialog);
// One line per fault: a control outside the client area or over another, a label wider
// than its control in font, a box or button of another kind than the dialog's.
std::vector<std::string> layoutFaults(HWND dialog, HFONT font);
