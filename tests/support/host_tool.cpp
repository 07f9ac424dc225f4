#include "support/host_tool.h"

#include <atomic>
#include <cstdlib>
#include <vector>

#include "support/test_paths.h"

std::string UnixPathOf(const std::wstring& path) {
  using ToUnix = char*(__cdecl*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) return "";
  char* unix = toUnix(path.c_str());
  if (unix == nullptr) return "";
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

bool HostHasProgram(const std::string& program) {
  const std::wstring dos = L"Z:" + std::wstring(program.begin(), program.end());
  return !UnixPathOf(L"C:\\").empty() && GetFileAttributesW(dos.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RunOnHost(const std::string& command, const std::wstring& folder, DWORD timeoutMs) {
  static std::atomic<int> next{0};
  const std::wstring status = folder + L"\\host-status-" + std::to_wstring(next++);
  const std::string unixStatus = UnixPathOf(status);
  if (unixStatus.empty() || command.find('"') != std::string::npos) return -1;
  // The status is written aside and moved into place, so a file that exists is complete.
  std::wstring line = L"Z:\\bin\\sh -c \"";
  // Its output is not the test's; errors still reach the test's own stderr.
  const std::string script = "{ " + command + "; } >/dev/null; echo $? > '" + unixStatus + ".part'; mv '" + unixStatus + ".part' '" +
                             unixStatus + "'";
  line += std::wstring(script.begin(), script.end()) + L"\"";
  std::vector<wchar_t> buffer(line.begin(), line.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\bin\\sh", buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  // Wine gives no handles for a Unix program; close any a real system would have given.
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  const DWORD start = GetTickCount();
  std::vector<uint8_t> bytes;
  while (!ReadFileBytes(status, &bytes)) {
    if (GetTickCount() - start > timeoutMs) return -1;
    Sleep(20);
  }
  DeleteFileW(status.c_str());
  return std::atoi(std::string(bytes.begin(), bytes.end()).c_str());
}

bool WritePam(const std::wstring& path, int32_t width, int32_t height, bool alpha,
              const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  const std::string header = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                             "\nDEPTH " + (alpha ? "4" : "3") + "\nMAXVAL 255\nTUPLTYPE " +
                             (alpha ? "RGB_ALPHA" : "RGB") + "\nENDHDR\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.reserve(bytes.size() + static_cast<size_t>(width) * static_cast<size_t>(height) * (alpha ? 4 : 3));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixel(x, y);
      bytes.insert(bytes.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)});
      if (alpha) bytes.push_back(static_cast<uint8_t>(p >> 24));
    }
  }
  return WriteFileBytes(path, bytes);
}
