#include "framework/file.h"

// The length the path has once made absolute; 0 when it cannot be made absolute.
static DWORD FullPathLength(const std::wstring& path) {
  wchar_t probe[1];
  // With a too-small buffer the call returns the size needed, terminator included.
  DWORD needed = GetFullPathNameW(path.c_str(), 1, probe, nullptr);
  return needed == 0 ? 0 : needed - 1;
}

bool CFile::Open(const std::wstring& path, OpenMode mode, DWORD* error) {
  handle_.Reset();
  if (path.empty() || path.size() >= MAX_PATH || FullPathLength(path) >= MAX_PATH) {
    if (error) *error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  DWORD access = mode == modeRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = mode == modeRead ? OPEN_EXISTING : CREATE_ALWAYS;
  HANDLE handle = CreateFileW(path.c_str(), access, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD lastError = GetLastError();
    if (error) *error = lastError;
    return false;
  }
  handle_.Reset(handle);
  return true;
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
  DWORD read = 0;
  if (!ReadFile(handle_.Get(), buffer, count, &read, nullptr)) {
    DWORD lastError = GetLastError();
    throw CFileException(CFileException::genericException, lastError);
  }
  return read;
}

void CFile::Write(const void* buffer, uint32_t count) {
  DWORD written = 0;
  if (!WriteFile(handle_.Get(), buffer, count, &written, nullptr)) {
    DWORD lastError = GetLastError();
    throw CFileException(lastError == ERROR_DISK_FULL ? CFileException::diskFull
                                                      : CFileException::genericException,
                         lastError);
  }
  if (written != count) throw CFileException(CFileException::diskFull, ERROR_DISK_FULL);
}

void CFile::Flush() {
  if (!FlushFileBuffers(handle_.Get())) {
    DWORD lastError = GetLastError();
    throw CFileException(CFileException::genericException, lastError);
  }
}

void CFile::Close() {
  // Given up before closing so that a failed close is not retried by the destructor.
  HANDLE handle = handle_.Release();
  if (!KernelHandleTraits::IsValid(handle)) return;
  if (!CloseHandle(handle)) {
    DWORD lastError = GetLastError();
    throw CFileException(CFileException::genericException, lastError);
  }
}
