// The colour profile of the display the viewer's window is on, for the worker's colour conversion.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

// When the profile is read again.
enum class DisplayCheck {
  kIfMonitorChanged,  // only when the window is on another monitor than at the last call
  kAlways,            // the displays changed: the same monitor may have another profile now
};

// The window's thread, or the worker for the start picture before the window exists: reads the
// ICM profile of the monitor the window is on (GetICMProfileW on a device context of the
// monitor, then the file it names) when `check` asks for it; the first call always reads it. A
// monitor without a profile, or one that cannot be read, gives an empty profile: sRGB. A null
// window stands for the primary monitor. True when the profile now differs from the one before.
bool RefreshDisplayProfile(HWND window, DisplayCheck check = DisplayCheck::kIfMonitorChanged);

// Any thread: the profile last read; empty means sRGB. Shared, never changed once published.
std::shared_ptr<const std::vector<uint8_t>> CurrentDisplayProfile();
