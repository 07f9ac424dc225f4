// TEMPORARY bridge to the read-once decode; replaced when that lands.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "browse/win32/file_identity.h"
#include "picture/win32/dib_image.h"

struct DisplayTarget {
  std::wstring profilePath;
  bool operator==(const DisplayTarget& o) const { return profilePath == o.profilePath; }
  bool operator!=(const DisplayTarget& o) const { return !(*this == o); }
};
DisplayTarget DisplayTargetOf(HWND viewer);

struct DecodeFacts {
  FileIdentity identity;
  bool read = false;
  int32_t exifOrientation = 0;
  bool orientationFound = false;
};
bool DecodeFile(const std::wstring& path, const DisplayTarget& target, CImage& image, DecodeFacts& facts,
                const std::atomic<bool>* cancelled);
