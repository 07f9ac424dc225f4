// What each shell action asks of the shell, as plain values; the Win32 side copies them into
// one SHELLEXECUTEINFOW and makes the call.
#pragma once
#include <cstdint>
#include <string>

struct ShellRequest {
  uint32_t mask;           // SEE_MASK_* bits
  std::wstring verb;       // empty: the default verb
  std::wstring file;
  std::wstring parameters; // empty: none
  int32_t show;            // SW_* show command
};

constexpr uint32_t kInvokeIdList = 0x0000000C;  // SEE_MASK_INVOKEIDLIST
constexpr int32_t kShowMaximized = 3;
constexpr int32_t kShowNormal = 5;
// The product's web page.
extern const wchar_t* const kWebsiteAddress;

// The shell's Open With chooser through the run-DLL host; the path goes in unquoted.
ShellRequest OpenWithRequest(const std::wstring& path);
ShellRequest PropertiesRequest(const std::wstring& path);
ShellRequest PrintRequest(const std::wstring& path);
ShellRequest WebsiteRequest();
