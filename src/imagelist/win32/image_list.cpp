#include "imagelist/win32/image_list.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "imagelist/image_rules.h"
#include "imagelist/win32/command_line.h"
#include "imagelist/win32/find_handle.h"

static const wchar_t kNoStartPath[] = L" ";

bool NaturalLess(const std::wstring& a, const std::wstring& b) {
  return StrCmpLogicalW(a.c_str(), b.c_str()) < 0;
}

// The absolute, normalised form of path; the path itself when it cannot be formed.
static std::wstring FullPath(const std::wstring& path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                    buffer.data(), nullptr);
    if (length == 0) return path;
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(length);
  }
}

static bool IsCandidate(const WIN32_FIND_DATAW& entry) {
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;  // "." and ".." too
  return true;
}

void ScanFolder(const std::wstring& folder, ScanMode mode) {
  if (mode == FromStartFile) ImageList.clear();
  std::wstring pattern = folder + L"\\*.*";
  if (pattern.size() > MAX_PATH - 1) return;
  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW(pattern.c_str(), &entry));
  if (!find.IsOpen()) return;
  std::wstring listedFolder = FolderOf(FullPath(pattern));
  do {
    if (!IsCandidate(entry)) continue;
    std::wstring path = listedFolder + L"\\" + entry.cFileName;
    if (!HasImageExtension(path)) continue;
    bool isStart = EqualsIgnoringAsciiCase(path, startPath);
    if (mode == FromStartFile) {
      if (!isStart) continue;
    } else if (isStart) {
      break;
    }
    ImageList.push_back(path);
    mode = UpToStartFile;
  } while (FindNextFileW(find.Get(), &entry));
}

// Sorts the list and makes the start file current when it is listed. A list that does not hold
// it keeps the earlier position, pulled back to the first entry when it lies outside the list.
static void SortAndFindStart() {
  // A merge sort: it stays inside the list even should the logical comparison not be a strict
  // weak order for some names, which an introsort does not promise.
  std::stable_sort(ImageList.begin(), ImageList.end(), NaturalLess);
  for (size_t i = 0; i < ImageList.size(); ++i) {
    if (EqualsIgnoringAsciiCase(ImageList[i], startPath)) {
      currentIndex = static_cast<int32_t>(i);
      return;
    }
  }
  currentIndex = IndexAfterRebuild(currentIndex, ImageList.size());
}

void BuildFromStartFile(const std::wstring& file) {
  startPath = file;
  std::wstring folder = FolderOf(file);
  ScanFolder(folder, FromStartFile);
  ScanFolder(folder, UpToStartFile);
  SortAndFindStart();
}

void BuildFromFolder(const std::wstring& folder) {
  startPath = kNoStartPath;
  ImageList.clear();
  ScanFolder(folder, UpToStartFile);
  SortAndFindStart();
}

std::wstring ProgramFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return FolderOf(std::wstring(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

void OpenStartFile(bool fromDrop, const std::wstring& path) {
  if (fromDrop) {
    BuildFromStartFile(path);
    return;
  }
  std::optional<std::wstring> argument = StartArgument(GetCommandLineW());
  if (argument) {
    BuildFromStartFile(*argument);
  } else {
    BuildFromFolder(ProgramFolder());
  }
}
