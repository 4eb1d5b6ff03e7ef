#include "shell/registry.h"

#include <cstring>

bool keyExists(HKEY root, const char* key) {
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

StringRead readWholeString(HKEY key, const char* valueName, std::string& out, bool classNameOnly,
                           DWORD* typeOut) {
    out.clear();
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return StringRead::missing;
    if (typeOut) *typeOut = type;
    if (type != REG_SZ && (classNameOnly || type != REG_EXPAND_SZ)) return StringRead::notText;
    std::string data(size + 1, '\0');  // room for a terminator the writer left out
    DWORD got = size;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &got) !=
        ERROR_SUCCESS)
        return StringRead::missing;
    out.assign(data.c_str());
    return StringRead::ok;
}

StringRead readString(HKEY root, const char* key, const char* valueName, char* out,
                      std::size_t capacity) {
    out[0] = '\0';
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return StringRead::missing;
    std::string value;
    StringRead r = readWholeString(k, valueName, value);
    RegCloseKey(k);
    if (r != StringRead::ok) return r;
    if (value.size() + 1 > capacity) return StringRead::tooLong;
    std::memcpy(out, value.c_str(), value.size() + 1);
    return StringRead::ok;
}

namespace {

void writeValue(HKEY root, const char* key, const char* valueName, DWORD type, const void* data,
                DWORD size) {
    HKEY k;
    if (RegCreateKeyExA(root, key, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(k, valueName, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(k);
}

}  // namespace

void writeString(HKEY root, const char* key, const char* valueName, const char* data, DWORD type) {
    writeValue(root, key, valueName, type, data, static_cast<DWORD>(std::strlen(data) + 1));
}

void writeNumber(HKEY root, const char* key, const char* valueName, DWORD number) {
    writeValue(root, key, valueName, REG_DWORD, &number, sizeof number);
}
