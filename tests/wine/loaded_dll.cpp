// A DLL for the tests to keep loaded, as a shell keeps its extension.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
