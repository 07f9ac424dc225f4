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
// The wall clock at process entry, against which the process's creation time tells how long the
// loader took (every imported DLL loaded and initialised, our static constructors run) before the
// first line of ours: 100 ns units; 0 while unknown.
std::atomic<int64_t> entryWallClock{0};

int64_t Ticks(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// Milliseconds from the process's creation to its entry; negative when unknown.
double LoaderMs() {
  FILETIME created{}, exited{}, kernel{}, user{};
  const int64_t entry = entryWallClock.load();
  if (entry == 0 || !GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  return static_cast<double>(entry - Ticks(created)) / 10000.0;
}

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
  const double loader = LoaderMs();
  if (loader >= 0) {
    char line[96];
    std::snprintf(line, sizeof line, "start profile: %-24s %8.1f ms\r\n", "loader, before entry", loader);
    text += line;
  }
  return text;
}

}  // namespace

void MarkStartPhase(StartPhase phase) {
  int64_t unmarked = 0;
  if (marks[static_cast<int>(phase)].compare_exchange_strong(unmarked, Now()) && phase == StartPhase::kProcessEntry) {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    entryWallClock.store(Ticks(now));
  }
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
