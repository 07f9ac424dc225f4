#include "decode/win32/display_profile.h"

#include <map>
#include <mutex>

#include "decode/icc_profile_extract.h"
#include "decode/win32/file_bytes.h"
#include "decode/win32/file_identity.h"
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

struct CachedProfile {
  FileIdentity identity;
  std::shared_ptr<const std::vector<uint8_t>> bytes;
};

struct ProfileCache {
  std::mutex lock;
  std::map<std::wstring, CachedProfile> byPath;  // a handful of monitors at most
};

// Made on first use and never destroyed: a worker may still be decoding when the process exits,
// and must not find the cache gone under it.
ProfileCache& Cache() {
  static ProfileCache* cache = new ProfileCache;
  return *cache;
}

// The empty profile (sRGB) handed out for every target without one; never destroyed, like the cache.
std::shared_ptr<const std::vector<uint8_t>> Srgb() {
  static const auto* none = new std::shared_ptr<const std::vector<uint8_t>>(std::make_shared<const std::vector<uint8_t>>());
  return *none;
}

}  // namespace

DisplayTarget DisplayTargetOf(HWND viewer) {
  return DisplayTargetOfMonitor(viewer != nullptr ? MonitorFromWindow(viewer, MONITOR_DEFAULTTONEAREST) : nullptr);
}

DisplayTarget DisplayTargetOfMonitor(HMONITOR monitor) {
  if (monitor == nullptr) monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return DisplayTarget{};
  CreatedDc dc(CreateDCW(info.szDevice, info.szDevice, nullptr, nullptr));
  if (!dc) return DisplayTarget{};
  wchar_t path[MAX_PATH + 1] = {};
  DWORD length = MAX_PATH;
  if (!GetICMProfileW(dc.Get(), &length, path)) return DisplayTarget{};
  return DisplayTarget{path};
}

std::shared_ptr<const std::vector<uint8_t>> DisplayProfileBytes(const DisplayTarget& target) {
  if (target.profilePath.empty()) return Srgb();
  // The cheap identity check tells whether the kept bytes are still the file's.
  const FileIdentity now = ReadFileIdentity(target.profilePath);
  if (!now.exists) return Srgb();
  ProfileCache& cache = Cache();
  {
    std::lock_guard<std::mutex> hold(cache.lock);
    const auto found = cache.byPath.find(target.profilePath);
    if (found != cache.byPath.end() && found->second.identity == now) return found->second.bytes;
  }
  // Read without the lock: no decode waits on another's file read.
  FileBytes file;
  std::shared_ptr<const std::vector<uint8_t>> bytes = Srgb();
  if (ReadWholeFile(target.profilePath, file) && file.size >= 128 && file.size <= kMaxProfileBytes) {
    bytes = std::make_shared<const std::vector<uint8_t>>(file.bytes.get(), file.bytes.get() + file.size);
  }
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.byPath[target.profilePath] = CachedProfile{file.identity, bytes};
  return bytes;
}
