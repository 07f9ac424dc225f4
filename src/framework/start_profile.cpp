#include "framework/start_profile.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "framework/unique_handle.h"

namespace {

constexpr int kPhases = static_cast<int>(StartPhase::kCount);
constexpr const char* kPhaseNames[kPhases] = {
    "process entry", "framework ready", "imaging library started", "window created", "window shown",
    "first paint", "decode start", "decode end", "first view", "averaging end", "first blit",
};

std::atomic<int64_t> marks[kPhases];  // performance-counter ticks; 0 while unmarked
std::atomic<bool> reported{false};

int64_t Now() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

std::string Report() {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  const int64_t entry = marks[0].load();
  std::string text;
  for (int i = 0; i < kPhases; ++i) {
    const int64_t at = marks[i].load();
    char line[96];
    if (at == 0) {
      std::snprintf(line, sizeof line, "start profile: %-24s not reached\r\n", kPhaseNames[i]);
    } else {
      std::snprintf(line, sizeof line, "start profile: %-24s %8.1f ms\r\n", kPhaseNames[i],
                    1000.0 * static_cast<double>(at - entry) / static_cast<double>(frequency.QuadPart));
    }
    text += line;
  }
  return text;
}

}  // namespace

void MarkStartPhase(StartPhase phase) {
  int64_t unmarked = 0;
  marks[static_cast<int>(phase)].compare_exchange_strong(unmarked, Now());
}

void ReportStartProfile() {
  wchar_t target[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"VISTREL_PROFILE", target, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || reported.exchange(true)) return;
  const std::string text = Report();
  DWORD written = 0;
  if (std::wstring(target) == L"1") {
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  KernelHandle file(CreateFileW(target, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
