// Commands that change only how the kept picture is shown. Window's thread only.
#pragma once

class PictureView;
#include <windows.h>
#include <cstdint>

// Light grey and black in turn; the picture is not decoded again.
void ToggleBackground(PictureView& view);
int32_t RotateLeft(PictureView& view);
int32_t RotateRight(PictureView& view);
