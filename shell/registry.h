// Registry access of the installer: every key it writes is created with full access
// and closed at once; every test or read opens with KEY_READ, so reading never
// leaves a key behind. Values are texts, but for the few numbers that Windows reads as
// REG_DWORD.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

bool keyExists(HKEY root, const char* key);

enum class StringRead { ok, missing, notText, tooLong };

// Reads a REG_SZ or REG_EXPAND_SZ value whole, into `out` of `capacity` bytes with its
// terminator. Any other type is notText; a value that does not fit is tooLong.
StringRead readString(HKEY root, const char* key, const char* valueName, char* out,
                      std::size_t capacity);
// The same on an open key, and without a size limit; only REG_SZ when `classNameOnly`.
// `type`, when given, receives the value's type.
StringRead readWholeString(HKEY key, const char* valueName, std::string& out,
                           bool classNameOnly = false, DWORD* type = nullptr);

// Creates (or opens) the key and sets one text value (REG_SZ unless `type` says
// REG_EXPAND_SZ) with its terminating zero; `valueName` null is the unnamed value.
// Failures are silent, as for all registry work.
void writeString(HKEY root, const char* key, const char* valueName, const char* data,
                 DWORD type = REG_SZ);
// The same for a REG_DWORD value.
void writeNumber(HKEY root, const char* key, const char* valueName, DWORD number);
