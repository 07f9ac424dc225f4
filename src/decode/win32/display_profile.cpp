#include "decode/win32/display_profile.h"

#include <mutex>
#include <string>

#include "decode/icc_profile_extract.h"
#include "decode/win32/file_byte_source.h"
#include "framework/unique_handle.h"

namespace {

// A device context made by CreateDCW, given back with DeleteDC.
struct CreatedDcTraits {
  using Type = HDC;
  static Type None() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static bool Free(Type h) { return DeleteDC(h) != FALSE; }
};
using CreatedDc = UniqueHandle<CreatedDcTraits>;

std::mutex profileLock;
std::shared_ptr<const std::vector<uint8_t>> published = std::make_shared<const std::vector<uint8_t>>();
HMONITOR lastMonitor = nullptr;  // under profileLock, like published

std::vector<uint8_t> ReadMonitorProfile(HMONITOR monitor) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return {};
  CreatedDc dc(CreateDCW(info.szDevice, info.szDevice, nullptr, nullptr));
  if (!dc) return {};
  wchar_t path[MAX_PATH + 1] = {};
  DWORD length = MAX_PATH;
  if (!GetICMProfileW(dc.Get(), &length, path)) return {};
  FileByteSource file(path);
  if (!file.IsOpen() || file.Size() < 128 || file.Size() > kMaxProfileBytes) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  if (!file.ReadAt(0, bytes.data(), bytes.size())) return {};
  return bytes;
}

}  // namespace

bool RefreshDisplayProfile(HWND window, DisplayCheck check) {
  const HMONITOR monitor = window != nullptr ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                                             : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  {
    std::lock_guard<std::mutex> hold(profileLock);
    if (monitor == lastMonitor && check == DisplayCheck::kIfMonitorChanged) return false;
    lastMonitor = monitor;
  }
  // Read without the lock held: no caller waits on another's file read.
  auto bytes = std::make_shared<const std::vector<uint8_t>>(ReadMonitorProfile(monitor));
  std::lock_guard<std::mutex> hold(profileLock);
  if (lastMonitor != monitor || *bytes == *published) return false;
  published = std::move(bytes);
  return true;
}

std::shared_ptr<const std::vector<uint8_t>> CurrentDisplayProfile() {
  std::lock_guard<std::mutex> hold(profileLock);
  return published;
}
