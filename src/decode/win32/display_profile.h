// The colour profile of the display the viewer's window is on, for the worker's colour conversion.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

// The window's thread, or the worker for the start picture before the window exists: when the
// window is on another monitor than at the last call (or at the first call), reads that monitor's
// ICM profile (GetICMProfileW on a device context of the monitor, then the file it names). A
// monitor without a profile, or one that cannot be read, gives an empty profile: sRGB. A null
// window stands for the primary monitor.
void RefreshDisplayProfile(HWND window);

// Any thread: the profile last read; empty means sRGB. Shared, never changed once published.
std::shared_ptr<const std::vector<uint8_t>> CurrentDisplayProfile();
