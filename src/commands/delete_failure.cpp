#include "commands/delete_failure.h"

#include "imagelist/image_rules.h"

std::wstring DeleteFailureText(const std::wstring& path, const std::wstring& systemReason) {
  // The system's messages end in "\r\n"; some carry a space before it.
  const size_t end = systemReason.find_last_not_of(L" \t\r\n");
  const std::wstring reason = end == std::wstring::npos ? std::wstring() : systemReason.substr(0, end + 1);
  return L"Could not delete " + fileNamePart(path) + L": " + reason;
}
