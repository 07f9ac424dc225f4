#include "decode/win32/file_bytes.h"

#include <windows.h>

#include <new>

#include "framework/unique_handle.h"
#include "imagelist/long_path.h"

bool ReadWholeFile(const std::wstring& path, FileBytes& file) {
  file = FileBytes{};
  KernelHandle handle(CreateFileW(FileSystemPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) return false;
  file.identity = IdentityOfOpenFile(handle.Get());
  if (!file.identity.exists || file.identity.size == 0 || file.identity.size > kMaxFileBytes) return false;
  const size_t size = static_cast<size_t>(file.identity.size);
  // Not zeroed first: every byte used is read from the file.
  file.bytes.reset(new (std::nothrow) uint8_t[size]);
  if (!file.bytes) return false;
  size_t filled = 0;
  while (filled < size) {
    const size_t left = size - filled;
    const DWORD chunk = left > (DWORD{1} << 30) ? DWORD{1} << 30 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(handle.Get(), file.bytes.get() + filled, chunk, &got, nullptr)) {
      file.bytes.reset();
      return false;
    }
    if (got == 0) break;  // cut short by another program's write
    filled += got;
  }
  file.size = filled;
  if (filled == 0) file.bytes.reset();
  return filled != 0;
}
