#include "imagelist/win32/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "framework/unique_handle.h"

std::optional<std::wstring> StartArgument(const wchar_t* commandLine) {
  // An empty text would make the call return the program's path as the only element.
  if (commandLine == nullptr || commandLine[0] == L'\0') return std::nullopt;
  int count = 0;
  LocalMemory<wchar_t**> arguments(CommandLineToArgvW(commandLine, &count));
  if (!arguments || count < 2) return std::nullopt;
  return std::wstring(arguments.Get()[1]);
}
