#include "app/settings_location.h"

std::wstring SettingsPathFor(bool portableMarkerPresent, const std::wstring& commonAppData,
                             const std::wstring& programFolder) {
  const std::wstring& folder = portableMarkerPresent || commonAppData.empty() ? programFolder : commonAppData;
  return folder + L"\\" + kSettingsFileName;
}
