// Platform-free rules of the image list: which names are images, how paths are cut and
// compared, how the shown position moves, and the window-title text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kImageExtensionCount = 44;
// Tried in this order; the first one found anywhere in a path accepts it.
extern const wchar_t* const imageExtensions[kImageExtensionCount];

// True when the path contains one of imageExtensions as a case-sensitive substring, anywhere
// (folder names included), so "photo.Jpg" is not an image but "old.gifts.txt" is.
bool HasImageExtension(const std::wstring& path);

// The path cut before its last backslash; empty when it has none.
std::wstring FolderOf(const std::wstring& path);
// The characters after the last backslash; the whole path when it has none.
std::wstring fileNamePart(const std::wstring& path);

// Case-insensitive equality that folds only A-Z to a-z; every other character must match.
bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b);

// One step forward. Wraps to 0 when the new index, as an unsigned 64-bit value, exceeds
// count - 1 (also unsigned); with count 0 that never happens and the index just grows.
int32_t NextIndex(int32_t current, size_t count);
// One step back; a negative result becomes count - 1, which is -1 for an empty list.
int32_t PreviousIndex(int32_t current, size_t count);
// The position after the entry at `current` was removed, given the new count: -1 for an
// empty list, 0 when the position fell off the end (or was never inside), else unchanged so
// that it names the entry that followed the removed one.
int32_t IndexAfterDelete(int32_t current, size_t newCount);
// The position to keep after a rebuild that did not find the start file: unchanged when it
// lies inside the new list or the list is empty, else 0, so no reader indexes outside it.
int32_t IndexAfterRebuild(int32_t current, size_t count);

// What the two scans of a folder (from the start file, then up to it) append, given every
// matching path in the order the file system returns them: the start file and what follows it
// up to the next path equal to the start path, then what comes before the start file; every
// path when none equals it. One enumeration of the folder is enough to know it.
std::vector<std::wstring> ScannedEntries(const std::vector<std::wstring>& enumerated,
                                         const std::wstring& startPath);

// "Vistrel - " followed by the file name part of the shown path.
std::wstring WindowTitle(const std::wstring& path);
