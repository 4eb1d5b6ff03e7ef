// The option dialog from its resource template, driven with window messages: which
// boxes start checked or locked, the View box that follows the associations, and what
// OK writes back into the state.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/installer_state.h"
#include "app/option_dialog.h"
#include "res/resource_ids.h"

namespace {

struct Dialog {
    HWND window;
    explicit Dialog(InstallerState& state)
        : window(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS),
                                    nullptr, optionDialogProc, reinterpret_cast<LPARAM>(&state))) {}
    ~Dialog() { DestroyWindow(window); }
    bool checked(int id) const { return IsDlgButtonChecked(window, id) == BST_CHECKED; }
    bool enabled(int id) const { return IsWindowEnabled(GetDlgItem(window, id)) != FALSE; }
    // "c" checked, "e" enabled, as one text per box.
    std::string look(int id) const {
        return std::string(checked(id) ? "c" : "-") + (enabled(id) ? "e" : "-");
    }
    // What a click does to an enabled automatic check box: it toggles, then tells the
    // dialog.
    void click(int id) const {
        if (!enabled(id)) return;
        CheckDlgButton(window, id, checked(id) ? BST_UNCHECKED : BST_CHECKED);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
};

}  // namespace

TEST(OptionDialog, OptionBytesSayWhichBoxesStartCheckedAndWhichMayChange) {
    InstallerState s;
    s.title.assign("Vopa 1.00");
    s.destinationFolder.assign("C:\\Program Files\\Vopa");
    s.startMenuOption = 3;  // changeable, made
    s.desktopOption = 2;    // made, locked
    s.sendToOption = 1;     // changeable, not made
    Dialog d(s);
    ASSERT_TRUE(d.window);
    char text[260];
    GetWindowTextA(d.window, text, sizeof text);
    EXPECT_STREQ(text, "Vopa 1.00");
    GetDlgItemTextA(d.window, IDC_DESTINATION, text, sizeof text);
    EXPECT_STREQ(text, "C:\\Program Files\\Vopa");
    EXPECT_EQ(d.look(IDC_START_MENU), "ce");
    EXPECT_EQ(d.look(IDC_DESKTOP), "c-");
    EXPECT_EQ(d.look(IDC_SEND_TO), "-e");
    s.sendToOption = 0;
    Dialog locked(s);
    EXPECT_EQ(locked.look(IDC_SEND_TO), "--");
}

TEST(OptionDialog, ExistingIntegrationIsLockedOnAndViewFollowsTheAssociations) {
    InstallerState none;
    Dialog d(none);
    EXPECT_EQ(d.look(IDC_VIEW_VERB), "--") << "no association: no View entry";
    EXPECT_EQ(d.look(IDC_COMPRESS_MENU), "-e");
    EXPECT_EQ(d.look(IDC_DRAG_DROP), "-e");
    d.click(IDC_ASSOC_LZH);
    EXPECT_EQ(d.look(IDC_ASSOC_LZH), "ce");
    EXPECT_EQ(d.look(IDC_VIEW_VERB), "-e") << "an association makes View possible";
    d.click(IDC_VIEW_VERB);
    d.click(IDC_ASSOC_7Z);
    d.click(IDC_ASSOC_LZH);
    EXPECT_EQ(d.look(IDC_VIEW_VERB), "ce") << ".7z still holds it";
    d.click(IDC_ASSOC_7Z);
    EXPECT_EQ(d.look(IDC_VIEW_VERB), "--") << "the last association gone: View goes";

    InstallerState existing;
    existing.associateFlags[1] = true;  // .zip already ours
    existing.addCompressMenu = existing.extendDragDropMenu = true;
    Dialog e(existing);
    EXPECT_EQ(e.look(IDC_ASSOC_ZIP), "c-") << "an association is never removed here";
    EXPECT_EQ(e.look(IDC_ASSOC_LZH), "-e");
    EXPECT_EQ(e.look(IDC_VIEW_VERB), "ce");
    EXPECT_EQ(e.look(IDC_COMPRESS_MENU), "c-");
    EXPECT_EQ(e.look(IDC_DRAG_DROP), "c-");
    e.click(IDC_ASSOC_ZIP);
    EXPECT_EQ(e.look(IDC_ASSOC_ZIP), "c-") << "a locked box does not change";
}

TEST(OptionDialog, OkStoresTheChoicesAndPreparesTheDestination) {
    InstallerState s;
    s.startMenuOption = 3;
    s.desktopOption = 3 | 0x80;  // other bits are carried along
    s.sendToOption = 1;
    Dialog d(s);
    SetDlgItemTextA(d.window, IDC_DESTINATION, "C:\\Dialog Test\\Inner");
    d.click(IDC_DESKTOP);  // off
    d.click(IDC_SEND_TO);  // on
    d.click(IDC_ASSOC_CAB);
    d.click(IDC_ASSOC_RAR);
    d.click(IDC_VIEW_VERB);
    d.click(IDC_DRAG_DROP);
    SendMessageA(d.window, WM_COMMAND, IDOK, 0);
    EXPECT_STREQ(s.destinationFolder.text(), "C:\\Dialog Test\\Inner");
    EXPECT_NE(GetFileAttributesA("C:\\Dialog Test\\Inner"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(s.startMenuOption, 3);
    EXPECT_EQ(s.desktopOption, 1 | 0x80);
    EXPECT_EQ(s.sendToOption, 3);
    std::string flags;
    for (bool f : s.associateFlags) flags += f ? '1' : '0';
    EXPECT_EQ(flags, "0010000010");
    EXPECT_TRUE(s.addViewVerb);
    EXPECT_FALSE(s.addCompressMenu);
    EXPECT_TRUE(s.extendDragDropMenu);
}

TEST(OptionDialog, ADestinationTooLongForTheArchiveKeepsTheDialog) {
    InstallerState s;
    s.silent = true;  // the message goes to the log instead of a box that waits
    s.archiveSummarized = true;
    s.archive.longestName = 240;
    Dialog d(s);
    SetDlgItemTextA(d.window, IDC_DESTINATION, "C:\\Long Enough Folder");
    d.click(IDC_ASSOC_LZH);
    SendMessageA(d.window, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(s.associateFlags[0]) << "nothing stored: the dialog is still open";
    EXPECT_EQ(GetFileAttributesA("C:\\Long Enough Folder"), INVALID_FILE_ATTRIBUTES);
    SetDlgItemTextA(d.window, IDC_DESTINATION, "C:\\V");
    SendMessageA(d.window, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(s.associateFlags[0]) << "a shorter folder is taken";
}

TEST(OptionDialog, EveryControlInItsPlaceAndEveryLabelUncut) {
    InstallerState s;
    Dialog d(s);
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(d.window, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_STREQ(font.lfFaceName, "MS UI Gothic");
    RECT client;
    GetClientRect(d.window, &client);
    struct Child {
        int id;
        LONG style;
        RECT box;
        std::string text;
    };
    std::vector<Child> children;
    for (HWND c = GetWindow(d.window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        Child k{GetDlgCtrlID(c), GetWindowLongA(c, GWL_STYLE), {}, std::string(256, '\0')};
        GetWindowRect(c, &k.box);
        MapWindowPoints(nullptr, d.window, reinterpret_cast<POINT*>(&k.box), 2);
        k.text.resize(static_cast<std::size_t>(GetWindowTextA(c, &k.text[0], 256)));
        children.push_back(k);
    }
    ASSERT_EQ(children.size(), 23u);
    HDC dc = GetDC(d.window);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(d.window, WM_GETFONT, 0, 0)));
    const int box = GetSystemMetrics(SM_CXMENUCHECK) + 4;  // a check box's mark and gap
    for (const Child& c : children) {
        RECT inside;
        EXPECT_TRUE(IntersectRect(&inside, &c.box, &client) && EqualRect(&inside, &c.box)) << c.id;
        for (const Child& o : children) {
            RECT both;
            if (&o != &c)
                EXPECT_FALSE(IntersectRect(&both, &c.box, &o.box)) << c.id << " overlaps " << o.id;
        }
        const LONG type = c.style & BS_TYPEMASK;
        const bool association = (c.id >= IDC_ASSOC_LZH && c.id <= IDC_ASSOC_ZIP) ||
                                 (c.id >= IDC_ASSOC_CAB && c.id <= IDC_ASSOC_RAR) ||
                                 c.id == IDC_ASSOC_7Z;
        if (c.id >= IDC_START_MENU && c.id <= IDC_DRAG_DROP) {
            EXPECT_EQ(type, BS_AUTOCHECKBOX) << c.id;
            EXPECT_EQ((c.style & BS_PUSHLIKE) != 0, association) << c.id;
            EXPECT_TRUE(c.style & WS_TABSTOP) << c.id;
        }
        if (c.text.empty()) continue;
        std::string shown = c.text;
        shown.erase(std::remove(shown.begin(), shown.end(), '&'), shown.end());
        SIZE size;
        GetTextExtentPoint32A(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
        const bool checkBox = type == BS_AUTOCHECKBOX && !association;
        const bool button = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || association;
        int room = c.box.right - c.box.left - (checkBox ? box : button ? 4 : 0);
        EXPECT_LE(size.cx, room) << "label cut: " << c.id;
    }
    SelectObject(dc, previous);
    ReleaseDC(d.window, dc);
    EXPECT_EQ(GetWindowLongA(GetDlgItem(d.window, IDOK), GWL_STYLE) & BS_TYPEMASK,
              BS_DEFPUSHBUTTON);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(d.window, IDC_DESTINATION), GWL_STYLE) & ES_AUTOHSCROLL);
}
