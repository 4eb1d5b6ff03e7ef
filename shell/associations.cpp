#include "shell/associations.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "app/installer/installer_state.h"
#include "app/installer/text_format.h"
#include "shell/registry.h"

bool installedPath(const InstallerState& state, const char* file, char (&out)[kPathCapacity]) {
    return joinPath(out, state.destinationFolder.text(), file);
}

bool programCommand(const InstallerState& state, const char* arguments, char (&out)[kCommandCapacity]) {
    char program[kPathCapacity];
    // Unquoted, "C:\Program Files\Vopa\Vopa.exe /u" would run C:\Program.exe first.
    if (state.programFileName.empty() ||
        !installedPath(state, state.programFileName.text(), program))
        return false;
    return formatText(out, sizeof out, "\"%s\"%s", program, arguments);
}

namespace {

void writeArchiveClass(InstallerState& state, std::size_t t) {
    const AssociationRow& row = kAssociations[t];
    const std::string cls = row.className;
    writeString(HKEY_CLASSES_ROOT, cls.c_str(), nullptr, "Archive file");

    char icon[kPathCapacity];
    char iconFile[32];
    formatText(iconFile, sizeof iconFile, "VopaResource.dll,%d", row.iconIndex);
    if (installedPath(state, iconFile, icon))
        writeString(HKEY_CLASSES_ROOT, (cls + "\\DefaultIcon").c_str(), nullptr, icon);

    const std::string shell = cls + "\\Shell";
    char verb[16];
    // A default verb "View" already there stays; anything else becomes "Open".
    if (readString(HKEY_CLASSES_ROOT, shell.c_str(), nullptr, verb, sizeof verb) !=
            StringRead::ok ||
        std::strcmp(verb, "View") != 0)
        writeString(HKEY_CLASSES_ROOT, shell.c_str(), nullptr, "Open");

    if (t == 0 || t == 1) {
        const std::string extract = shell + "\\Extract";
        if (keyExists(HKEY_CLASSES_ROOT, extract.c_str())) {
            RegDeleteKeyA(HKEY_CLASSES_ROOT, (extract + "\\command").c_str());
            RegDeleteKeyA(HKEY_CLASSES_ROOT, extract.c_str());
        }
    }

    // Without a program file name there is nothing for a verb to run: no verbs.
    char command[kCommandCapacity];
    if (!programCommand(state, " /e \"%1\"", command)) return;
    writeString(HKEY_CLASSES_ROOT, (shell + "\\Open").c_str(), nullptr, "Vopaで解凍(&E)");
    writeString(HKEY_CLASSES_ROOT, (shell + "\\Open\\command").c_str(), nullptr, command);
    if (!state.addViewVerb || !programCommand(state, " /v \"%1\"", command)) return;
    writeString(HKEY_CLASSES_ROOT, (shell + "\\View").c_str(), nullptr, "Vopaで閲覧(&V)");
    writeString(HKEY_CLASSES_ROOT, (shell + "\\View\\command").c_str(), nullptr, command);
}

}  // namespace

void registerExtension(InstallerState& state, std::size_t t) {
    const AssociationRow& row = kAssociations[t];
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, row.extension, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        std::string previous;
        DWORD type = REG_SZ;
        StringRead r = readWholeString(key, nullptr, previous, /*classNameOnly=*/false, &type);
        RegCloseKey(key);
        // A key without a default value saves the empty string; a text value is saved
        // as it is, an expandable one as expandable; any other type is no class name.
        if (r == StringRead::missing) type = REG_SZ;
        if (r != StringRead::notText && previous != row.className)
            writeString(HKEY_CURRENT_USER, kSavedClassKey, row.savedClassValue, previous.c_str(),
                        type);
    }
    writeString(HKEY_CLASSES_ROOT, row.extension, nullptr, row.className);
    writeArchiveClass(state, t);
}

