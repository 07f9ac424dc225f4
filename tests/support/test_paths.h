// Where the Wine tests find the project's files and the shared test images.
#pragma once
#include <string>

// The shared test images folder (Windows spelling); empty when it is absent, and tests skip.
std::wstring TestDataDir();
// The folder holding the test programs and vistrel.exe.
std::wstring BinaryDir();
std::wstring SourceDir();
// A fresh, empty folder under the build tree's temp area, named after the running test.
std::wstring MakeScratchDir(const std::wstring& name);
// Removes a folder and everything below it; ignores what cannot be removed.
void RemoveTree(const std::wstring& folder);
