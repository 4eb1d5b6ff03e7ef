#include "shell/program_version.h"

#include <windows.h>

#include "extract/lha/path_text.h"

namespace {

using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(const char*, DWORD*);
using GetFileVersionInfoFunction = BOOL(WINAPI*)(const char*, DWORD, DWORD, void*);
using VerQueryValueFunction = BOOL(WINAPI*)(const void*, const char*, void**, UINT*);

HMODULE loadSystemLibrary(const char* name) {
    // LOAD_LIBRARY_SEARCH_SYSTEM32 is known where AddDllDirectory is (Windows 8, or 7
    // with its update); elsewhere the full path keeps the search out of other folders.
    if (GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddDllDirectory"))
        return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    char folder[kPathCapacity], path[kPathCapacity];
    UINT n = GetSystemDirectoryA(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder || !joinPath(path, folder, name)) return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <class Function>
Function function(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// The text `name` of the string table for `translation`; empty when it has none.
std::string stringValue(VerQueryValueFunction query, const std::string& block,
                        const WORD* translation, const char* name) {
    char path[64];  // "\StringFileInfo\", eight hexadecimal digits, "\" and the name
    wsprintfA(path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
    void* found = nullptr;
    UINT length = 0;
    if (!query(block.data(), path, &found, &length) || !found) return {};
    // Read up to the terminator, which the copy made for the ANSI call has, and never
    // past the block: the length counts characters, not the bytes of double-byte text.
    const char* text = static_cast<const char*>(found);
    if (text < block.data() || text >= block.data() + block.size()) return {};
    std::size_t n = 0, room = block.data() + block.size() - text;
    while (n < room && text[n] != '\0') ++n;
    return std::string(text, n);
}

}  // namespace

ProgramVersion readProgramVersion(const char* path) {
    ProgramVersion result;
    HMODULE library = loadSystemLibrary("version.dll");
    if (!library) return result;
    auto size = function<GetFileVersionInfoSizeFunction>(library, "GetFileVersionInfoSizeA");
    auto info = function<GetFileVersionInfoFunction>(library, "GetFileVersionInfoA");
    auto query = function<VerQueryValueFunction>(library, "VerQueryValueA");
    DWORD unused = 0, bytes = size && info && query ? size(path, &unused) : 0;
    std::string block(bytes, '\0');
    WORD* translation = nullptr;
    UINT length = 0;
    if (bytes && info(path, 0, bytes, &block[0]) &&
        query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
              &length) &&
        translation && length >= 2 * sizeof(WORD)) {
        result.publisher = stringValue(query, block, translation, "CompanyName");
        result.version = stringValue(query, block, translation, "ProductVersion");
    }
    FreeLibrary(library);
    return result;
}
