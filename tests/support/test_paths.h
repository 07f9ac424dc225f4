// Where the Wine tests find the project's files and the shared test images.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The shared test images folder (Windows spelling); empty when it is absent, and tests skip.
std::wstring TestDataDir();
// The folder holding the test programs and vistrel.exe.
std::wstring BinaryDir();
std::wstring SourceDir();
// A fresh, empty folder under the build tree's temp area, named after the running test.
std::wstring MakeScratchDir(const std::wstring& name);
// Removes a folder and everything below it; ignores what cannot be removed.
void RemoveTree(const std::wstring& folder);
// Every file below folder, at any depth; folders themselves are left out.
std::vector<std::wstring> FilesUnder(const std::wstring& folder);
// The whole file into *bytes; false when it cannot be opened.
bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>* bytes);
// Writes bytes to path, replacing what was there; false unless all of them were written.
bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
// The running program's command line as the shell splits it, its own path first.
std::vector<std::wstring> ProgramArguments();
