// The option dialog (template 103): destination and shell-integration choices.
#pragma once
#include <windows.h>

// Ends with 0 after OK prepared the destination and stored the choices; 1 otherwise.
INT_PTR CALLBACK optionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
