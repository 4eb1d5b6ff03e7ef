#include "app/installer/option_dialog.h"

#include <shlobj.h>

#include <cstring>

#include "app/installer/installer_state.h"
#include "app/installer/user_texts.h"
#include "extract/installer/extraction_worker.h"
#include "res/resource_ids.h"

namespace {

InstallerState* dialogState = nullptr;
char folderText[kPathCapacity];  // shared by the edit box, the browser and OK

// Association boxes in associateFlags order.
constexpr int kAssociationBoxes[kAssociationCount] = {
    IDC_ASSOC_LZH, IDC_ASSOC_ZIP, IDC_ASSOC_CAB, IDC_ASSOC_TGZ, IDC_ASSOC_TAR,
    IDC_ASSOC_GZ,  IDC_ASSOC_TBZ, IDC_ASSOC_BZ2, IDC_ASSOC_RAR, IDC_ASSOC_7Z};

struct ShortcutBox {
    int id;
    std::uint8_t InstallerState::*option;
};
constexpr ShortcutBox kShortcutBoxes[] = {{IDC_START_MENU, &InstallerState::startMenuOption},
                                          {IDC_DESKTOP, &InstallerState::desktopOption},
                                          {IDC_SEND_TO, &InstallerState::sendToOption}};

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void checkAndDisable(HWND dialog, int id) {
    CheckDlgButton(dialog, id, BST_CHECKED);
    EnableWindow(GetDlgItem(dialog, id), FALSE);
}

void initialise(HWND dialog, InstallerState& state) {
    dialogState = &state;
    SetWindowTextA(dialog, state.title.text());
    std::memset(folderText, 0, sizeof folderText);
    std::strncpy(folderText, state.destinationFolder.text(), sizeof folderText - 1);
    SetDlgItemTextA(dialog, IDC_DESTINATION, folderText);
    for (const ShortcutBox& box : kShortcutBoxes) {
        std::uint8_t option = state.*box.option;
        if (option & kOptionMake) CheckDlgButton(dialog, box.id, BST_CHECKED);
        if (!(option & kOptionChangeable)) EnableWindow(GetDlgItem(dialog, box.id), FALSE);
    }
    bool any = false;
    for (std::size_t i = 0; i < kAssociationCount; ++i) {
        if (!state.associateFlags[i]) continue;
        checkAndDisable(dialog, kAssociationBoxes[i]);  // an association is never removed here
        any = true;
    }
    if (any) CheckDlgButton(dialog, IDC_VIEW_VERB, BST_CHECKED);
    else EnableWindow(GetDlgItem(dialog, IDC_VIEW_VERB), FALSE);
    if (state.addCompressMenu) checkAndDisable(dialog, IDC_COMPRESS_MENU);
    if (state.extendDragDropMenu) checkAndDisable(dialog, IDC_DRAG_DROP);
}

void confirm(HWND dialog, InstallerState& state) {
    HWND edit = GetDlgItem(dialog, IDC_DESTINATION);
    if (GetWindowTextLengthA(edit) >= static_cast<int>(sizeof folderText)) {
        // Taking the first 259 characters would install into a different folder.
        MessageBoxA(dialog, kCannotCreateFolder, nullptr, MB_ICONWARNING | MB_OK);
        return;
    }
    std::memset(folderText, 0, sizeof folderText);
    GetWindowTextA(edit, folderText, sizeof folderText);
    state.destinationFolder.assign(folderText);
    // A folder that cannot be made, or cannot hold the archive's longest path: the
    // message is out, and the dialog stays for another choice.
    if (!prepareDestination(state, state.destinationFolder.text())) return;
    for (const ShortcutBox& box : kShortcutBoxes) {
        std::uint8_t& option = state.*box.option;
        option = static_cast<std::uint8_t>(checked(dialog, box.id) ? option | kOptionMake
                                                                   : option & ~kOptionMake);
    }
    for (std::size_t i = 0; i < kAssociationCount; ++i)
        state.associateFlags[i] = checked(dialog, kAssociationBoxes[i]);
    state.addViewVerb = checked(dialog, IDC_VIEW_VERB);
    state.addCompressMenu = checked(dialog, IDC_COMPRESS_MENU);
    state.extendDragDropMenu = checked(dialog, IDC_DRAG_DROP);
    EndDialog(dialog, 0);
}

void browse(HWND dialog) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator))) return;
    char display[kPathCapacity] = {};
    BROWSEINFOA info = {};
    info.hwndOwner = dialog;
    info.pszDisplayName = display;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    if (LPITEMIDLIST list = SHBrowseForFolderA(&info)) {
        char picked[kPathCapacity] = {};
        if (SHGetPathFromIDListA(list, picked)) {
            std::memcpy(folderText, picked, sizeof folderText);
            SetDlgItemTextA(dialog, IDC_DESTINATION, folderText);
        }
        allocator->Free(list);
    }
    allocator->Release();
}

void associationToggled(HWND dialog) {
    bool any = false;
    for (int id : kAssociationBoxes) any |= checked(dialog, id);
    HWND view = GetDlgItem(dialog, IDC_VIEW_VERB);
    if (!any) CheckDlgButton(dialog, IDC_VIEW_VERB, BST_UNCHECKED);
    EnableWindow(view, any);
}

}  // namespace

INT_PTR CALLBACK optionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        initialise(dialog, *reinterpret_cast<InstallerState*>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (wParam) {  // the whole parameter: buttons send the click notification (0)
        case IDOK: confirm(dialog, *dialogState); break;
        case IDCANCEL: EndDialog(dialog, 1); break;
        case IDC_BROWSE: browse(dialog); break;
        default:
            for (int id : kAssociationBoxes)
                if (wParam == static_cast<WPARAM>(id)) associationToggled(dialog);
            break;
    }
    return TRUE;
}
