// The colour profile of the display the viewer's window is on, for the worker's colour conversion.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

// Window's thread: when the window has moved to another monitor since the last call (or on the
// first call), reads that monitor's ICM profile (GetICMProfileW on a device context of the
// monitor, then the file it names). A monitor without a profile, or one that cannot be read,
// gives an empty profile: sRGB.
void RefreshDisplayProfile(HWND window);

// Any thread: the profile last read; empty means sRGB. Shared, never changed once published.
std::shared_ptr<const std::vector<uint8_t>> CurrentDisplayProfile();
