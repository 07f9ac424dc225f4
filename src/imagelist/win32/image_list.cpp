#include "imagelist/win32/image_list.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

#include "framework/unique_handle.h"
#include "imagelist/image_rules.h"
#include "imagelist/long_path.h"
#include "imagelist/win32/command_line.h"

// The process-wide list, position and start path; the window's thread alone reads and writes them.
std::vector<std::wstring> ImageList;
int32_t currentIndex = 0;
std::wstring startPath;



const std::wstring* CurrentPath() {
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= ImageList.size()) return nullptr;
  return &ImageList[static_cast<size_t>(currentIndex)];
}

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

// Calls visit with the full path of each matching file of the folder, in the order the file
// system returns them, until visit returns false. Directories are skipped, nothing else is.
// Touches no process-wide state, so the worker may list folders with it.
template <class Visit>
static void ForEachImageFile(const std::wstring& folder, const std::atomic<bool>* cancelled, Visit visit) {
  // Enumerated by its normalised form, which is what the system makes of the pattern anyway
  // and what the extended-length form of a long folder needs.
  const std::wstring pattern = FullPath(folder + L"\\*.*");
  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW(FileSystemPath(pattern).c_str(), &entry));
  if (!find) return;
  const std::wstring listedFolder = FolderOf(pattern);
  do {
    if (cancelled != nullptr && *cancelled) return;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // "." and ".." too
    std::wstring path = listedFolder + L"\\" + entry.cFileName;
    if (HasImageExtension(path) && !visit(std::move(path))) return;
  } while (FindNextFileW(find.Get(), &entry));
}

std::vector<std::wstring> ListFolder(const std::wstring& folder, const std::wstring& start,
                                     const std::atomic<bool>* cancelled) {
  std::vector<std::wstring> enumerated;
  ForEachImageFile(folder, cancelled, [&](std::wstring&& path) {
    enumerated.push_back(std::move(path));
    return true;
  });
  if (cancelled != nullptr && *cancelled) return {};
  std::vector<std::wstring> list = ScannedEntries(enumerated, start);
  // A merge sort: it stays inside the list even should the logical comparison not be a strict
  // weak order for some names, which an introsort does not promise.
  std::stable_sort(list.begin(), list.end(), NaturalLess);
  return list;
}

std::optional<std::wstring> ListedPathOf(const std::wstring& start) {
  if (start.find_first_of(L"*?") != std::wstring::npos) return std::nullopt;
  const std::wstring pattern = FolderOf(start) + L"\\*.*";
  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW(FileSystemPath(FullPath(start)).c_str(), &entry));
  if (!find || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
  std::wstring listed = FolderOf(FullPath(pattern)) + L"\\" + entry.cFileName;
  if (!HasImageExtension(listed) || !EqualsIgnoringAsciiCase(listed, start)) return std::nullopt;
  return listed;
}

void FindStartFile() {
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
  ImageList = ListFolder(FolderOf(file), file);
  FindStartFile();
}

void BuildFromFolder(const std::wstring& folder) {
  startPath = kNoStartPath;
  ImageList = ListFolder(folder, startPath);
  FindStartFile();
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
