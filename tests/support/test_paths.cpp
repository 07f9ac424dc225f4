#include "support/test_paths.h"

#include <windows.h>
#include <shellapi.h>

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

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = folder + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

std::wstring MakeScratchDir(const std::wstring& name) {
  std::wstring root = std::wstring(VISTREL_BINARY_DIR_W) + L"\\scratch";
  CreateDirectoryW(root.c_str(), nullptr);
  std::wstring dir = root + L"\\" + name + L"-" + std::to_wstring(GetCurrentProcessId());
  RemoveTree(dir);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}
