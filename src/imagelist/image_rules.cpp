#include "imagelist/image_rules.h"

#include <algorithm>

const wchar_t* const imageExtensions[kImageExtensionCount] = {
    L".jpg", L".png", L".jpeg", L".jpe", L".gif", L".bmp", L".jif", L".jfif",
    L".jfi", L".jp2", L".j2k",  L".jpf", L".jpx", L".jpm", L".mj2", L".tif",
    L".JPG", L".PNG", L".JPEG", L".JPE", L".GIF", L".BMP", L".JIF", L".JFIF",
    L".JFI", L".JP2", L".J2K",  L".JPF", L".JPX", L".JPM", L".MJ2", L".TIF",
    // The kinds phones and the web save today, after the classic 32 so those keep their order.
    L".webp", L".avif", L".heic", L".heif", L".hif", L".jxl",
    L".WEBP", L".AVIF", L".HEIC", L".HEIF", L".HIF", L".JXL",
};

bool HasImageExtension(const std::wstring& path) {
  for (const wchar_t* extension : imageExtensions) {
    if (path.find(extension) != std::wstring::npos) return true;
  }
  return false;
}

std::wstring FolderOf(const std::wstring& path) {
  size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring fileNamePart(const std::wstring& path) {
  size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

static wchar_t FoldAsciiUpper(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiUpper(a[i]) != FoldAsciiUpper(b[i])) return false;
  }
  return true;
}

int32_t NextIndex(int32_t current, size_t count) {
  // Unsigned arithmetic so that growing past INT32_MAX on an empty list wraps instead of
  // overflowing a signed value.
  int32_t next = static_cast<int32_t>(static_cast<uint32_t>(current) + 1u);
  uint64_t last = static_cast<uint64_t>(count) - 1u;
  if (static_cast<uint64_t>(static_cast<int64_t>(next)) > last) return 0;
  return next;
}

int32_t PreviousIndex(int32_t current, size_t count) {
  int64_t previous = static_cast<int64_t>(current) - 1;
  if (previous < 0) return static_cast<int32_t>(static_cast<int64_t>(count) - 1);
  return static_cast<int32_t>(previous);
}

int32_t IndexAfterDelete(int32_t current, size_t newCount) {
  if (newCount == 0) return -1;
  if (current < 0 || static_cast<uint64_t>(current) > newCount - 1) return 0;
  return current;
}

int32_t IndexAfterRebuild(int32_t current, size_t count) {
  if (count == 0) return current;
  if (current < 0 || static_cast<uint64_t>(current) >= count) return 0;
  return current;
}

std::vector<std::wstring> ScannedEntries(const std::vector<std::wstring>& enumerated,
                                         const std::wstring& startPath) {
  auto isStart = [&](const std::wstring& path) { return EqualsIgnoringAsciiCase(path, startPath); };
  const auto start = std::find_if(enumerated.begin(), enumerated.end(), isStart);
  if (start == enumerated.end()) return enumerated;
  const auto nextStart = std::find_if(start + 1, enumerated.end(), isStart);
  std::vector<std::wstring> entries(start, nextStart);
  entries.insert(entries.end(), enumerated.begin(), start);
  return entries;
}

std::wstring WindowTitle(const std::wstring& path) { return L"Vistrel - " + fileNamePart(path); }
