// The ordered list of the image files of one folder and the position of the shown one.
#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Process-wide; the window's thread alone reads and writes them.
extern std::vector<std::wstring> ImageList;  // absolute paths, sorted by NaturalLess
extern int32_t currentIndex;                 // position of the shown file; -1 when none
extern std::wstring startPath;               // the path the list was built for; " " when none
constexpr wchar_t kNoStartPath[] = L" ";

// The entry at currentIndex; null when the list is empty or the index lies outside it.
const std::wstring* CurrentPath();

// Builds the list from the start file's folder: from the command line when fromDrop is false
// (path ignored), else from path. Loads and draws nothing.
void OpenStartFile(bool fromDrop, const std::wstring& path);
// Windows' logical order: case-insensitive, digit runs by value.
bool NaturalLess(const std::wstring& a, const std::wstring& b);

// The pieces OpenStartFile is made of, for callers that know their start file or folder.
// Builds the list for the given start file (startPath = file, unchanged), sorts it and makes
// the start file current when it is listed.
void BuildFromStartFile(const std::wstring& file);
// Builds the list of every image of folder with no start file (startPath = " ").
void BuildFromFolder(const std::wstring& folder);
// Makes the start file current when it is listed; a list that does not hold it keeps the
// earlier position, pulled back to the first entry when it lies outside the list.
void FindStartFile();

// The one folder listing, for the window's thread and the worker alike (no process-wide state):
// the sorted list that building from the start file `start` in folder gives, from one
// enumeration of the folder. cancelled (may be null) stops it early with an empty list.
std::vector<std::wstring> ListFolder(const std::wstring& folder, const std::wstring& start,
                                     const std::atomic<bool>* cancelled = nullptr);
// The path under which the folder listing will name the start file, when that can be known
// without listing the folder: it exists, is a file, and its listed path carries an image
// extension and equals `start` but for the case of A to Z. Nothing otherwise (a relative path,
// a folder, no such file), when only the whole listing can tell what will be shown.
std::optional<std::wstring> ListedPathOf(const std::wstring& start);

// The running program's folder, without a trailing backslash.
std::wstring ProgramFolder();
