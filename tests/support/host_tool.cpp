#include "support/host_tool.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "framework/unique_handle.h"
#include "support/test_paths.h"

std::string UnixPathOf(const std::wstring& path) {
  using ToUnix = char*(__cdecl*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  const auto release = [](char* p) { HeapFree(GetProcessHeap(), 0, p); };
  const std::unique_ptr<char, decltype(release)> unix(toUnix != nullptr ? toUnix(path.c_str()) : nullptr, release);
  return unix != nullptr ? unix.get() : "";
}

bool HostHasProgram(const std::string& program) {
  const std::wstring dos = L"Z:" + std::wstring(program.begin(), program.end());
  return !UnixPathOf(L"C:\\").empty() && GetFileAttributesW(dos.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RunOnHost(const std::string& command, const std::wstring& folder, DWORD timeoutMs) {
  static std::atomic<int> next{0};
  const std::wstring status = folder + L"\\host-status-" + std::to_wstring(next++);
  const std::string to = UnixPathOf(status);
  if (to.empty() || command.find('"') != std::string::npos) return -1;
  // The command's output is not the caller's (its exit status says how it went); the status is
  // written aside and moved into place, so a status file that exists is whole.
  const std::string script =
      "{ " + command + "; } >/dev/null 2>&1; echo $? > '" + to + ".part'; mv '" + to + ".part' '" + to + "'";
  std::wstring line = L"Z:\\bin\\sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  // Wine gives no handles for a Unix program; any a real system gives are released here.
  const KernelHandle thread(process.hThread), owned(process.hProcess);
  std::vector<uint8_t> bytes;
  for (const DWORD start = GetTickCount(); !ReadFileBytes(status, &bytes); Sleep(20)) {
    if (GetTickCount() - start > timeoutMs) return -1;
  }
  DeleteFileW(status.c_str());
  return std::atoi(std::string(bytes.begin(), bytes.end()).c_str());
}
