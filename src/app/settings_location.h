// Where the settings file lives, decided from facts the caller reads from the system.
#pragma once
#include <string>

// A file of this name beside vistrel.exe (its content does not matter) makes that copy
// portable: its settings then live beside it instead of in the machine-wide folder.
constexpr const wchar_t* kPortableMarkerName = L"vistrel.portable";
constexpr const wchar_t* kSettingsFileName = L"vistrel.settings";

// The settings file's full path: in programFolder when the portable marker lies there; else in
// commonAppData, or in programFolder when the shell gave no application-data folder (empty).
// Folders come without a trailing backslash.
std::wstring SettingsPathFor(bool portableMarkerPresent, const std::wstring& commonAppData,
                             const std::wstring& programFolder);
