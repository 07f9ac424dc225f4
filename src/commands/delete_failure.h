// What the user is told when the shown file could not be deleted.
#pragma once
#include <string>

// "Could not delete <file name>: <reason>", the reason being the system's text for the error
// with its trailing line break (and any other trailing white space) cut off.
std::wstring DeleteFailureText(const std::wstring& path, const std::wstring& systemReason);
