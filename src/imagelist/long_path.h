// The form of a path that file-system calls are given. The list, the titles and every
// comparison keep the plain path; only the calls that open, enumerate, examine or delete a
// file take this form, so that paths up to 32,767 characters reach the file system.
#pragma once
#include <cstddef>
#include <string>

// Paths of this many characters or more do not pass the plain form's limit.
constexpr size_t kPlainPathLimit = 260;

// A path shorter than kPlainPathLimit, as it is. A longer absolute one in the extended-length
// form: "\\?\C:\..." for a drive path, "\\?\UNC\server\share\..." for a UNC path. That form is
// taken literally (no "." or ".." resolved, no "/" turned round), so the path must already be
// absolute and normalised (GetFullPathNameW); a relative path, or one already in a device or
// extended form ("\\?\", "\\.\"), is returned as it is.
std::wstring FileSystemPath(const std::wstring& path);
