// The start-up argument as the shell splits a command line.
#pragma once
#include <optional>
#include <string>

// The second element of the command line split by CommandLineToArgvW (white space separates,
// double quotes group and are removed); nothing when there are fewer than two. Further
// elements are ignored.
std::optional<std::wstring> StartArgument(const wchar_t* commandLine);
