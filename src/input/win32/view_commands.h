// Commands that change only how the kept picture is shown. Window's thread only.
#pragma once
#include <windows.h>
#include <cstdint>

// Light grey and black in turn; the picture is not decoded again.
void ToggleBackground(HWND viewer);
int32_t RotateLeft(HWND viewer);
int32_t RotateRight(HWND viewer);
