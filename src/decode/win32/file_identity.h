// What tells that a file's content may have changed, without reading it. Any thread.
#pragma once
#include <cstdint>
#include <string>

struct FileIdentity {
  bool exists = false;
  uint64_t size = 0;
  uint64_t lastWrite = 0;
  // Changed by any write or replacement, even one that puts the old last-write time back.
  uint64_t change = 0;
  // Which file of which volume: a file put in the path's place (a move over it) is another.
  uint32_t volume = 0;
  uint64_t index = 0;

  bool operator==(const FileIdentity& o) const {
    return exists == o.exists && size == o.size && lastWrite == o.lastWrite && change == o.change &&
           volume == o.volume && index == o.index;
  }
  bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

// The identity of the file at path now; exists is false when it cannot be opened to ask. A cheap
// re-check: the decode takes the identity of the bytes it reads from its own open (DecodeFacts).
FileIdentity ReadFileIdentity(const std::wstring& path);

// The identity of a file open with at least FILE_READ_ATTRIBUTES access (the handle stays the
// caller's).
FileIdentity IdentityOfOpenFile(void* file);
