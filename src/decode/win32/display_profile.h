// Which colours a decoded picture is converted to: the colour profile of the monitor the viewer's
// window is on. The window's thread names it (a path only); the worker reads the file, inside the
// decode.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct DisplayTarget {
  std::wstring profilePath;  // empty: sRGB

  bool operator==(const DisplayTarget& o) const { return profilePath == o.profilePath; }
  bool operator!=(const DisplayTarget& o) const { return !(*this == o); }
};

// Window's thread (any thread may call it): the profile the monitor of the viewer uses, asked of
// the system by name (GetICMProfileW); no file is read. A null viewer stands for the primary
// monitor. A monitor without a profile gives sRGB.
DisplayTarget DisplayTargetOf(HWND viewer);
// The same for a monitor (the one a window is about to open on); null: the primary one.
DisplayTarget DisplayTargetOfMonitor(HMONITOR monitor);

// Worker (any thread): the target's profile bytes; empty means sRGB (none named, or the file
// cannot be read or is no profile size). Read once per path and kept, read again when the file
// changes; shared under a lock, never changed once handed out.
std::shared_ptr<const std::vector<uint8_t>> DisplayProfileBytes(const DisplayTarget& target);
