#include "commands/shell_requests.h"

const wchar_t* const kWebsiteAddress = L"https://vistrel.org/";

ShellRequest OpenWithRequest(const std::wstring& path) {
  return ShellRequest{0, L"", L"rundll32.exe", L"shell32.dll,OpenAs_RunDLL " + path, kShowMaximized};
}

ShellRequest PropertiesRequest(const std::wstring& path) {
  return ShellRequest{kInvokeIdList, L"properties", path, L"", kShowNormal};
}

ShellRequest PrintRequest(const std::wstring& path) {
  return ShellRequest{kInvokeIdList, L"print", path, L"", kShowNormal};
}

ShellRequest WebsiteRequest() { return ShellRequest{kInvokeIdList, L"open", kWebsiteAddress, L"", kShowNormal}; }
