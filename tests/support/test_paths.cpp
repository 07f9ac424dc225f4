#include "support/test_paths.h"

#include <windows.h>
#include <shellapi.h>

#include "framework/unique_handle.h"
#include "generated_paths.h"  // written by CMake

std::wstring TestDataDir() {
  std::wstring dir = VISTREL_TESTDATA_DIR_W;
  DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"";
  return dir;
}

std::wstring BinaryDir() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s = path;
  return s.substr(0, s.find_last_of(L'\\'));
}

std::wstring SourceDir() { return VISTREL_SOURCE_DIR_W; }

// Calls visit(full path, is a folder) for each entry of folder but "." and "..".
template <class Visit>
static void ForEachEntry(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    visit(folder + L"\\" + name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileW(find.Get(), &data));
}

void RemoveTree(const std::wstring& folder) {
  ForEachEntry(folder, [](const std::wstring& full, bool isFolder) {
    if (isFolder) {
      RemoveTree(full);
    } else {
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(full.c_str());
    }
  });
  RemoveDirectoryW(folder.c_str());
}

std::vector<std::wstring> FilesUnder(const std::wstring& folder) {
  std::vector<std::wstring> files;
  ForEachEntry(folder, [&](const std::wstring& full, bool isFolder) {
    if (isFolder) {
      const std::vector<std::wstring> inner = FilesUnder(full);
      files.insert(files.end(), inner.begin(), inner.end());
    } else {
      files.push_back(full);
    }
  });
  return files;
}

bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>* bytes) {
  KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes->clear();
  uint8_t chunk[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  return true;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return ok && written == bytes.size();
}

std::vector<std::wstring> ProgramArguments() {
  int count = 0;
  LocalMemory<wchar_t**> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!arguments) return {};
  return std::vector<std::wstring>(arguments.Get(), arguments.Get() + count);
}

std::wstring MakeScratchDir(const std::wstring& name) {
  std::wstring root = std::wstring(VISTREL_BINARY_DIR_W) + L"\\scratch";
  CreateDirectoryW(root.c_str(), nullptr);
  std::wstring dir = root + L"\\" + name + L"-" + std::to_wstring(GetCurrentProcessId());
  RemoveTree(dir);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}
