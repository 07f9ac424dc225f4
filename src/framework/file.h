// A small file object after the class library's CFile: opening reports failure by its result,
// reading, writing and flushing raise CFileException with the system's error code.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/unique_handle.h"

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
  bool IsOpen() const { return static_cast<bool>(handle_); }
  // Returns the number of bytes read; fewer than count only at the end of the file.
  uint32_t Read(void* buffer, uint32_t count);
  // Writes all of count bytes; a write that comes up short is raised as disk full.
  void Write(const void* buffer, uint32_t count);
  void Flush();
  void Close();

 private:
  KernelHandle handle_;
};
