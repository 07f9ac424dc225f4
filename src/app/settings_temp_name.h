// The name of the temporary file a settings write goes through, and reading the writer's
// process id back out of it, so that leftovers of writers that no longer run can be told
// from the file of a viewer writing right now.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

// "<settings path>.<process id>.tmp", beside the settings file.
std::wstring SettingsTempPathFor(const std::wstring& settingsPath, uint32_t processId);

// The process id in fileName when it is a temporary of the settings file named settingsName
// ("vistrel.settings.1234.tmp" for "vistrel.settings"; A to Z in either case); nothing for
// any other name.
std::optional<uint32_t> SettingsTempProcessId(const std::wstring& settingsName, const std::wstring& fileName);
