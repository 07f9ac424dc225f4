#include "app/win32/settings_file.h"

#include <windows.h>
#include <shlobj.h>

#include "app/settings_location.h"
#include "framework/file.h"
#include "imagelist/win32/image_list.h"

// True when a file (not a folder) named kPortableMarkerName lies in folder.
static bool HasPortableMarker(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW((folder + L"\\" + kPortableMarkerName).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The machine-wide application-data folder; empty when the shell cannot say.
static std::wstring CommonAppDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  HRESULT result = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder);
  return SUCCEEDED(result) ? folder : L"";
}

std::wstring SettingsFilePath() {
  const std::wstring programFolder = ProgramFolder();
  const bool portable = HasPortableMarker(programFolder);
  return SettingsPathFor(portable, portable ? L"" : CommonAppDataFolder(), programFolder);
}

SettingsReadResult ReadSettingsFile(const std::wstring& path) {
  SettingsReadResult result{SettingsReadStatus::kCouldNotOpen, {}};
  CFile file;
  if (!file.Open(path, CFile::modeRead)) return result;
  uint8_t bytes[kSettingsRecordSize] = {};
  uint32_t total = 0;
  try {
    // A regular file gives all it has in one read; keep reading anyway until the end.
    while (total < kSettingsRecordSize) {
      uint32_t read = file.Read(bytes + total, static_cast<uint32_t>(kSettingsRecordSize - total));
      if (read == 0) break;
      total += read;
    }
    file.Close();
  } catch (const CFileException&) {
    result.status = SettingsReadStatus::kReadError;
    return result;
  }
  std::optional<SettingsRecord> record = DecodeSettings(bytes, total);
  if (!record) return result;
  result.status = SettingsReadStatus::kOk;
  result.record = *record;
  return result;
}

std::wstring SettingsTempPath(const std::wstring& path) {
  return path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
}

// Writes and flushes the whole record to a fresh file at path.
static bool WriteRecordFile(const std::wstring& path, const SettingsRecord& record) {
  CFile file;
  if (!file.Open(path, CFile::modeCreate)) return false;
  SettingsBytes bytes = EncodeSettings(record);
  try {
    file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    file.Flush();
    file.Close();
  } catch (const CFileException&) {
    return false;
  }
  return true;
}

bool WriteSettingsFile(const std::wstring& path, const SettingsRecord& record) {
  std::wstring temp = SettingsTempPath(path);
  if (!WriteRecordFile(temp, record) ||
      !MoveFileExW(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    // Nothing to report: a settings write fails silently, but leaves no stray file behind.
    DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}
