// The option dialog from its resource template, driven with window messages as a user's
// clicks would send them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/installer/installer_state.h"
#include "app/installer/option_dialog.h"
#include "res/resource_ids.h"
#include "tests/wine/dialog_layout.h"

namespace {

struct Dialog {
    HWND window;
    explicit Dialog(InstallerState& state)
        : window(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS),
                                    nullptr, optionDialogProc, reinterpret_cast<LPARAM>(&state))) {}
    ~Dialog() { DestroyWindow(window); }
    bool checked(int id) const { return IsDlgButtonChecked(window, id) == BST_CHECKED; }
    bool enabled(int id) const { return IsWindowEnabled(GetDlgItem(window, id)) != FALSE; }
    // Per box "c" checked, "e" enabled, or "-", the boxes apart by spaces.
    std::string look(std::initializer_list<int> ids) const {
        std::string text;
        for (int id : ids)
            text += std::string(text.empty() ? "" : " ") + (checked(id) ? "c" : "-") +
                    (enabled(id) ? "e" : "-");
        return text;
    }
    // As a click on an enabled automatic check box: it toggles, then tells the dialog.
    void click(int id) const {
        if (!enabled(id)) return;
        CheckDlgButton(window, id, checked(id) ? BST_UNCHECKED : BST_CHECKED);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
};

}  // namespace

TEST(OptionDialog, BoxesStartFromTheOptionBytesAndWhatIsInstalled) {
    InstallerState s;
    s.title.assign("Vopa 1.00");
    s.destinationFolder.assign("C:\\Program Files\\Vopa");
    s.startMenuOption = 3;       // changeable, made
    s.desktopOption = 2;         // made, locked
    s.sendToOption = 1;          // changeable, not made
    s.associateFlags[1] = true;  // .zip already ours: never removed here
    s.addCompressMenu = true;
    Dialog d(s);
    ASSERT_TRUE(d.window);
    char title[260], folder[260];
    GetWindowTextA(d.window, title, sizeof title);
    GetDlgItemTextA(d.window, IDC_DESTINATION, folder, sizeof folder);
    EXPECT_EQ(std::string(title) + "|" + folder, "Vopa 1.00|C:\\Program Files\\Vopa");
    EXPECT_EQ(d.look({IDC_START_MENU, IDC_DESKTOP, IDC_SEND_TO, IDC_ASSOC_ZIP, IDC_ASSOC_LZH,
                      IDC_VIEW_VERB, IDC_COMPRESS_MENU, IDC_DRAG_DROP}),
              "ce c- -e c- -e ce c- -e");
}

TEST(OptionDialog, ViewFollowsTheAssociations) {
    InstallerState none;
    none.extendDragDropMenu = true;
    Dialog d(none);
    EXPECT_EQ(d.look({IDC_VIEW_VERB, IDC_DRAG_DROP}), "-- c-") << "no association: no View entry";
    d.click(IDC_ASSOC_LZH);
    EXPECT_EQ(d.look({IDC_ASSOC_LZH, IDC_VIEW_VERB}), "ce -e") << "View becomes possible";
    d.click(IDC_VIEW_VERB);
    d.click(IDC_ASSOC_7Z);
    d.click(IDC_ASSOC_LZH);
    EXPECT_EQ(d.look({IDC_VIEW_VERB}), "ce") << ".7z still holds it";
    d.click(IDC_ASSOC_7Z);
    EXPECT_EQ(d.look({IDC_VIEW_VERB}), "--") << "the last association gone: View goes";
}

TEST(OptionDialog, AFolderTooLongIsRefusedNotCut) {
    InstallerState s;
    s.destinationFolder.assign("C:\\Vopa");
    Dialog d(s);
    SetDlgItemTextA(d.window, IDC_DESTINATION, ("C:\\" + std::string(257, 'a')).c_str());
    static bool warned;  // the warning box is modal: a timer inside its loop answers it
    warned = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
        warned = PostMessageA(GetActiveWindow(), WM_COMMAND, IDOK, 0) != FALSE;
    });
    SendMessageA(d.window, WM_COMMAND, IDOK, 0);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(warned);
    EXPECT_STREQ(s.destinationFolder.text(), "C:\\Vopa") << "260 characters are one too many";
}

TEST(OptionDialog, OkStoresTheChoicesOnceTheDestinationHoldsTheArchive) {
    InstallerState s;
    s.silent = true;  // the message goes to the log instead of a box that waits
    s.archiveSummarized = true;
    s.archive.longestName = 238;
    s.startMenuOption = 3;
    s.desktopOption = 3 | 0x80;  // other bits are carried along
    s.sendToOption = 1;
    Dialog d(s);
    for (int id :
         {IDC_DESKTOP, IDC_SEND_TO, IDC_ASSOC_CAB, IDC_ASSOC_RAR, IDC_VIEW_VERB, IDC_DRAG_DROP})
        d.click(id);
    // 21 bytes, a backslash and 238 leave no room for the terminator: the dialog stays.
    SetDlgItemTextA(d.window, IDC_DESTINATION, "C:\\Dialog Test\\Inner2");
    SendMessageA(d.window, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(s.sendToOption, 1) << "nothing stored";
    EXPECT_EQ(GetFileAttributesA("C:\\Dialog Test\\Inner2"), INVALID_FILE_ATTRIBUTES);
    SetDlgItemTextA(d.window, IDC_DESTINATION, "C:\\Dialog Test\\Inner");  // one byte less
    SendMessageA(d.window, WM_COMMAND, IDOK, 0);
    EXPECT_STREQ(s.destinationFolder.text(), "C:\\Dialog Test\\Inner");
    EXPECT_NE(GetFileAttributesA("C:\\Dialog Test\\Inner"), INVALID_FILE_ATTRIBUTES);
    std::string flags;
    for (bool f : s.associateFlags) flags += f ? '1' : '0';
    EXPECT_EQ(flags, "0010000010");
    EXPECT_EQ(std::vector<int>({s.startMenuOption, s.desktopOption, s.sendToOption, s.addViewVerb,
                                s.addCompressMenu, s.extendDragDropMenu}),
              std::vector<int>({3, 1 | 0x80, 3, true, false, true}));
}

TEST(OptionDialog, EveryControlInItsPlaceAndEveryLabelUncut) {
    InstallerState s;
    Dialog d(s);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(d.window, WM_GETFONT, 0, 0));
    LOGFONTA face = {};
    GetObjectA(font, sizeof face, &face);
    EXPECT_STREQ(face.lfFaceName, "MS UI Gothic");
    EXPECT_EQ(dialogControls(d.window).size(), 23u);
    EXPECT_EQ(layoutFaults(d.window, font), std::vector<std::string>());
}
