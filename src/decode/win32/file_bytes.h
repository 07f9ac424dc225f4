// A picture file read once, whole, into memory: the decode's only access to the file. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "decode/win32/file_identity.h"

// The largest file read: far above any picture the decode limit lets through compressed.
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 31;

struct FileBytes {
  FileIdentity identity;  // of the open the bytes came from
  std::unique_ptr<uint8_t[]> bytes;
  size_t size = 0;
};

// Opens path once, shared for reading, writing and deleting (so another program may rename,
// replace, write or delete it at any moment, even while it is read), takes its identity from that
// handle, reads it whole and closes it before returning. A file that shrinks meanwhile gives the
// bytes that were there. False when it cannot be opened, is empty or larger than kMaxFileBytes,
// cannot be read, or no memory is left for it.
bool ReadWholeFile(const std::wstring& path, FileBytes& file);
