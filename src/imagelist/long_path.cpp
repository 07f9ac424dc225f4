#include "imagelist/long_path.h"

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

std::wstring FileSystemPath(const std::wstring& path) {
  if (path.size() < kPlainPathLimit) return path;
  const bool drive = path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
  if (drive) return L"\\\\?\\" + path;
  const bool uncOrDevice = path.compare(0, 2, L"\\\\") == 0;
  if (!uncOrDevice) return path;
  if (path.size() > 3 && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') return path;
  return L"\\\\?\\UNC\\" + path.substr(2);
}
