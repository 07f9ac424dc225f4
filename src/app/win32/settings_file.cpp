#include "app/win32/settings_file.h"

#include <windows.h>
#include <shlobj.h>

#include <optional>

#include "app/settings_location.h"
#include "app/settings_temp_name.h"
#include "framework/file.h"
#include "framework/unique_handle.h"
#include "imagelist/image_rules.h"
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
  return SettingsTempPathFor(path, GetCurrentProcessId());
}

// True unless the process has certainly ended: no process has that id any more, or the one
// still known by it has exited. A process that may not be looked at counts as running.
static bool ProcessMayBeRunning(DWORD processId) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD exitCode = 0;
  return !GetExitCodeProcess(process.Get(), &exitCode) || exitCode == STILL_ACTIVE;
}

void RemoveStaleSettingsTemporaries(const std::wstring& path) {
  const std::wstring folder = FolderOf(path);
  const std::wstring settingsName = fileNamePart(path);
  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW((path + L".*.tmp").c_str(), &entry));
  if (!find) return;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::optional<uint32_t> writer = SettingsTempProcessId(settingsName, entry.cFileName);
    if (!writer) continue;
    // This process has written nothing yet, so a temporary under its id is an earlier one's.
    // A reused id of another program leaves a leftover behind, which is harmless.
    if (*writer != GetCurrentProcessId() && ProcessMayBeRunning(*writer)) continue;
    DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
  } while (FindNextFileW(find.Get(), &entry));
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
  // A file the user made read-only is left as it is. Windows refuses the move over it anyway;
  // Wine would let it go over and drop the attribute.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
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
