#include "app/settings_temp_name.h"

#include <limits>

#include "imagelist/image_rules.h"

namespace {

const wchar_t kTempSuffix[] = L".tmp";
constexpr size_t kTempSuffixLength = sizeof(kTempSuffix) / sizeof(kTempSuffix[0]) - 1;

}  // namespace

std::wstring SettingsTempPathFor(const std::wstring& settingsPath, uint32_t processId) {
  return settingsPath + L"." + std::to_wstring(processId) + kTempSuffix;
}

std::optional<uint32_t> SettingsTempProcessId(const std::wstring& settingsName, const std::wstring& fileName) {
  const std::wstring prefix = settingsName + L".";
  if (fileName.size() <= prefix.size() + kTempSuffixLength) return std::nullopt;
  const size_t digitsEnd = fileName.size() - kTempSuffixLength;
  if (!EqualsIgnoringAsciiCase(fileName.substr(0, prefix.size()), prefix) ||
      !EqualsIgnoringAsciiCase(fileName.substr(digitsEnd), kTempSuffix)) {
    return std::nullopt;
  }
  uint64_t id = 0;
  for (size_t i = prefix.size(); i < digitsEnd; ++i) {
    const wchar_t c = fileName[i];
    if (c < L'0' || c > L'9') return std::nullopt;
    id = id * 10 + static_cast<uint64_t>(c - L'0');
    if (id > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  }
  return static_cast<uint32_t>(id);
}
