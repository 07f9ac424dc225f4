// A small file object after the class library's CFile: opening reports failure by its result,
// reading, writing and flushing raise CFileException with the system's error code.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// Owns one kernel file handle; closes it on destruction. Empty is INVALID_HANDLE_VALUE.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Reset(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes the held handle and takes the new one; returns the CloseHandle result (true when
  // nothing was held).
  bool Reset(HANDLE handle = INVALID_HANDLE_VALUE);
  // Gives up ownership without closing.
  HANDLE Release();

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class CFileException {
 public:
  enum Cause { genericException, diskFull };
  CFileException(Cause cause, DWORD osError) : cause_(cause), osError_(osError) {}
  Cause cause() const { return cause_; }
  // GetLastError() taken right after the failing call; ERROR_DISK_FULL for a short write.
  DWORD osError() const { return osError_; }

 private:
  Cause cause_;
  DWORD osError_;
};

class CFile {
 public:
  enum OpenMode {
    modeRead,    // read access, existing file only
    modeCreate,  // read and write access, created or truncated, normal attributes
  };

  CFile() = default;
  ~CFile() = default;  // the handle closes itself; errors at that point are not reported
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens without sharing. A full path of MAX_PATH characters or more does not open. On
  // failure returns false and, when error is given, stores the system's error code.
  bool Open(const std::wstring& path, OpenMode mode, DWORD* error = nullptr);
  bool IsOpen() const { return handle_.IsOpen(); }
  // Returns the number of bytes read; fewer than count only at the end of the file.
  uint32_t Read(void* buffer, uint32_t count);
  // Writes all of count bytes; a write that comes up short is raised as disk full.
  void Write(const void* buffer, uint32_t count);
  void Flush();
  void Close();

 private:
  FileHandle handle_;
};
