#include "tests/wine/dialog_layout.h"

#include <algorithm>

#include "res/resource_ids.h"

std::vector<ControlBox> dialogControls(HWND dialog) {
    std::vector<ControlBox> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        ControlBox control = {GetDlgCtrlID(c), {}, {}, GetWindowLongA(c, GWL_STYLE)};
        GetWindowRect(c, &control.box);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.box), 2);
        char text[256];
        control.text.assign(text, static_cast<std::size_t>(GetWindowTextA(c, text, sizeof text)));
        control.text.erase(std::remove(control.text.begin(), control.text.end(), '&'),
                           control.text.end());
        controls.push_back(control);
    }
    return controls;
}

std::vector<std::string> layoutFaults(HWND dialog, HFONT font) {
    std::vector<std::string> faults;
    RECT client;
    GetClientRect(dialog, &client);
    const std::vector<ControlBox> controls = dialogControls(dialog);
    // A memory DC measures as the dialog's would, and is ours even when the dialog is not.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    const int mark = GetSystemMetrics(SM_CXMENUCHECK) + 4;  // a check box's mark and gap
    for (const ControlBox& c : controls) {
        const std::string id = std::to_string(c.id);
        RECT inside;
        if (!IntersectRect(&inside, &c.box, &client) || !EqualRect(&inside, &c.box))
            faults.push_back(id + " is outside the dialog");
        for (const ControlBox& o : controls)
            if (&o != &c && IntersectRect(&inside, &c.box, &o.box))
                faults.push_back(id + " overlaps " + std::to_string(o.id));
        const LONG type = c.style & BS_TYPEMASK;
        const bool association = c.text[0] == '.';  // ".lzh" and the others
        if (c.id >= IDC_START_MENU && c.id <= IDC_DRAG_DROP &&
            (type != BS_AUTOCHECKBOX || ((c.style & BS_PUSHLIKE) != 0) != association ||
             !(c.style & WS_TABSTOP)))
            faults.push_back(id + " is no check box of its kind");
        if (c.id == IDOK && type != BS_DEFPUSHBUTTON) faults.push_back("OK is not the default");
        if (c.id == IDC_DESTINATION) {
            if (!(c.style & ES_AUTOHSCROLL)) faults.push_back("the folder box does not scroll");
            continue;  // its text scrolls: no label
        }
        SIZE size = {};
        GetTextExtentPoint32A(dc, c.text.c_str(), static_cast<int>(c.text.size()), &size);
        const bool checkBox = type == BS_AUTOCHECKBOX && !association;
        const bool button = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || association;
        const int room = c.box.right - c.box.left - (checkBox ? mark : button ? 4 : 0);
        if (size.cx > room)
            faults.push_back("label cut: " + id + " needs " + std::to_string(size.cx) + " of " +
                             std::to_string(room));
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return faults;
}
