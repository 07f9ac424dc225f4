// Where the settings file lives and how its 24 bytes are read and written.
#pragma once
#include <string>

#include "app/settings_record.h"

// The executable's folder when a vistrel.portable file lies there; else the machine-wide
// application-data folder, else the executable's folder; plus "\vistrel.settings". Computed
// afresh on every call.
std::wstring SettingsFilePath();

enum class SettingsReadStatus {
  kCouldNotOpen,  // missing, not accessible, path too long, or shorter than a record
  kReadError,     // opened but the read failed; nothing of the record may be applied
  kOk,
};

struct SettingsReadResult {
  SettingsReadStatus status;
  SettingsRecord record;  // meaningful only with ok
};

// Reads the first 24 bytes of the file at path. A file shorter than that is reported as
// kCouldNotOpen, so the caller treats it like a missing file.
SettingsReadResult ReadSettingsFile(const std::wstring& path);

// The temporary file a write goes through: beside path, named after this process.
std::wstring SettingsTempPath(const std::wstring& path);

// Removes the temporary files beside path that writers killed in the middle of a write left
// behind: those named after a process that no longer runs, or after this one (which has not
// written yet). A running viewer's temporary is never touched.
void RemoveStaleSettingsTemporaries(const std::wstring& path);

// Writes exactly 24 bytes to the temporary file, flushes it and then moves it over path, so
// that path holds either its old content or the complete new record. The temporary is removed
// when any step fails. A read-only file at path is not written. Returns true when path holds
// the new record.
bool WriteSettingsFile(const std::wstring& path, const SettingsRecord& record);
