#include "decode/win32/file_byte_source.h"

#include <windows.h>

#include "imagelist/long_path.h"

FileByteSource::FileByteSource(const std::wstring& path)
    : file_(CreateFileW(FileSystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
  LARGE_INTEGER size{};
  if (file_ && GetFileSizeEx(file_.Get(), &size) && size.QuadPart > 0) size_ = static_cast<uint64_t>(size.QuadPart);
}

bool FileByteSource::ReadAt(uint64_t offset, uint8_t* buffer, size_t count) {
  while (count > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
    DWORD read = 0;
    if (!ReadFile(file_.Get(), buffer, chunk, &read, &at) || read == 0) return false;
    buffer += read;
    offset += read;
    count -= read;
  }
  return true;
}
