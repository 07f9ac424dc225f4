#include "decode/win32/file_identity.h"

#include <windows.h>

#include "framework/unique_handle.h"
#include "imagelist/long_path.h"

namespace {

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

}  // namespace

FileIdentity ReadFileIdentity(const std::wstring& path) {
  // Opened for its attributes only, sharing everything, so no other program is kept out.
  KernelHandle file(CreateFileW(FileSystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file ? IdentityOfOpenFile(file.Get()) : FileIdentity{};
}

FileIdentity IdentityOfOpenFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return FileIdentity{};
  FileIdentity identity;
  identity.exists = true;
  identity.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  identity.lastWrite = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = Join(info.nFileIndexHigh, info.nFileIndexLow);
  FILE_BASIC_INFO basic{};
  if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic))) {
    identity.change = static_cast<uint64_t>(basic.ChangeTime.QuadPart);
  }
  return identity;
}
