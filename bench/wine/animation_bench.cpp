// An animation as a user sees it, timed on the real vistrel.exe from outside: when each frame of a
// 1 MP GIF of 50 ms frames reaches the screen against its due time (fitted, then at 3 x), the
// viewer's CPU time while it plays, the start of a 500-frame animation against a still GIF of the
// same size, and the memory held while the 500 frames play. Prints figures; it is not a test.
//
//   animation_bench.exe [--rounds N]
//
// The files are written here (a GIF writer of the tests'): a 1224 x 816 canvas whose first frame
// covers it all, then frames of a 160 x 160 patch in its middle, each patch its own colour, so
// the frame on the screen is known from a few sampled rows across the middle of the window.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/screen_watch.h"
#include "support/test_gif.h"
#include "support/test_paths.h"
#include "support/viewer_driver.h"

namespace {

constexpr int32_t kWidth = 1224, kHeight = 816;  // 1 MP
constexpr int32_t kPatch = 160;
constexpr int32_t kFrameMs = 50;
constexpr int32_t kCodes = 250;  // distinct patch colours, one per frame before they repeat
constexpr double kWatchMs = 10000;

// Frame k's patch colour (0x00RRGGBB): red and green steps of 8 that the sampler reads back.
uint32_t PatchColour(int32_t k) {
  const uint32_t r = 10 + 8 * static_cast<uint32_t>(k % 25), g = 10 + 8 * static_cast<uint32_t>(k / 25);
  return (r << 16) | (g << 8) | 200u;
}

// The frame code a sampled colour shows, or -1 for none (the background, a blend, another state).
int32_t CodeOf(uint32_t pixel) {
  const int r = static_cast<int>((pixel >> 16) & 0xFF), g = static_cast<int>((pixel >> 8) & 0xFF),
            b = static_cast<int>(pixel & 0xFF);
  if (std::abs(b - 200) > 4) return -1;
  const int kr = (r - 10 + 4) / 8, kg = (g - 10 + 4) / 8;
  if (kr < 0 || kr >= 25 || kg < 0 || kg >= 10 || std::abs(r - (10 + 8 * kr)) > 3 || std::abs(g - (10 + 8 * kg)) > 3) {
    return -1;
  }
  return kg * 25 + kr;
}

// A grey canvas with frame 0's patch, then `frames - 1` patches of their own colours, each frame
// kFrameMs, played for ever; frames == 1 makes the still GIF.
std::vector<uint8_t> MakeAnimation(int32_t frames) {
  const int32_t left = (kWidth - kPatch) / 2, top = (kHeight - kPatch) / 2;
  std::vector<GifFrameSpec> specs;
  GifFrameSpec first;
  first.width = kWidth;
  first.height = kHeight;
  first.delay = kFrameMs / 10;
  first.palette = {0x808080, PatchColour(0)};
  first.index = [=](int32_t x, int32_t y) -> uint8_t {
    return x >= left && x < left + kPatch && y >= top && y < top + kPatch ? 1 : 0;
  };
  specs.push_back(first);
  for (int32_t k = 1; k < frames; ++k) {
    GifFrameSpec patch;
    patch.left = left;
    patch.top = top;
    patch.width = kPatch;
    patch.height = kPatch;
    patch.delay = kFrameMs / 10;
    patch.palette = {PatchColour(k % kCodes)};
    patch.index = [](int32_t, int32_t) -> uint8_t { return 0; };
    specs.push_back(patch);
  }
  return frames == 1 ? EncodeGif(kWidth, kHeight, first.palette, first.index)
                     : EncodeAnimatedGif(kWidth, kHeight, {0x808080}, specs, 0);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double CpuMs(DWORD processId) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!process || !GetProcessTimes(process.Get(), &created, &exited, &kernel, &user)) return -1;
  const auto ticks = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 10000.0;
}

double PeakWorkingSetMb(DWORD processId) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!process || !GetProcessMemoryInfo(process.Get(), &counters, sizeof counters)) return -1;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// A viewer started on `path`, maximised with no saved placement, and the rows across the middle
// of its client area.
struct Started {
  ViewerProcess viewer;
  std::unique_ptr<RowSampler> sampler;
  double createdMs = 0;
  double firstFrameMs = -1;  // start -> frame 0's patch on the screen
};

int32_t CodeOnScreen(RowSampler& sampler, std::vector<uint32_t>& pixels) {
  if (!sampler.Capture(&pixels) || pixels.empty()) return -1;
  // The middle sampled pixel, and it must agree with a neighbour so a half-drawn state is not read.
  const size_t middle = pixels.size() / 2;
  const int32_t code = CodeOf(pixels[middle]);
  return code >= 0 && CodeOf(pixels[middle - 1]) == code ? code : -1;
}

bool Start(const std::wstring& path, Started& s) {
  RemoveSettingsFile();
  std::string error;
  s.createdMs = NowMs();
  if (!s.viewer.Start(ViewerExePath(), L"\"" + path + L"\"", &error) || !s.viewer.WaitForWindow(20000, &error, 1)) {
    std::printf("  the viewer did not start: %s\n", error.c_str());
    return false;
  }
  WaitUntil([&] { return s.viewer.IsMaximized(); }, 3000, 1);
  const RECT client = s.viewer.ClientScreenEdges();
  const LONG cx = (client.left + client.right) / 2, cy = (client.top + client.bottom) / 2;
  s.sampler = std::make_unique<RowSampler>(RECT{cx - 20, cy - 20, cx + 20, cy + 20}, 4);
  if (!s.sampler->Ok()) return false;
  std::vector<uint32_t> pixels;
  while (NowMs() - s.createdMs < 20000) {
    if (CodeOnScreen(*s.sampler, pixels) == 0) {
      s.firstFrameMs = NowMs() - s.createdMs;
      return true;
    }
  }
  std::printf("  frame 0 never showed\n");
  return false;
}

void Close(Started& s) {
  if (!s.viewer.Running()) return;
  s.viewer.RequestClose();
  if (!s.viewer.WaitForExit(10000, nullptr)) s.viewer.Terminate();
  RemoveSettingsFile();
}

// Watches for kWatchMs: the first time each frame's patch is seen (frames counted on from the
// code seen first, wrapping after kCodes), and how late each was against the file's clock, whose
// origin is the earliest any frame came (so no frame counts as early).
void Playback(Started& s, const char* label) {
  std::vector<uint32_t> pixels;
  std::vector<double> seen;  // by frame number since the watch began
  int32_t lastCode = -1, frame = -1;
  double polls = 0;
  const double cpuBefore = CpuMs(s.viewer.ProcessId()), from = NowMs();
  while (NowMs() - from < kWatchMs) {
    Sleep(1);  // about a read a millisecond: a busy loop would take a core from the viewer
    const int32_t code = CodeOnScreen(*s.sampler, pixels);
    const double at = NowMs();
    ++polls;
    if (code < 0 || code == lastCode) continue;
    if (lastCode < 0) {  // on the screen before the watch began: its time is unknown
      lastCode = code;
      frame = 0;
      continue;
    } else {
      frame += (code - lastCode + kCodes) % kCodes;
    }
    lastCode = code;
    if (static_cast<size_t>(frame) >= seen.size()) seen.resize(static_cast<size_t>(frame) + 1, -1);
    seen[static_cast<size_t>(frame)] = at;
  }
  const double wallMs = NowMs() - from, cpuMs = CpuMs(s.viewer.ProcessId()) - cpuBefore;
  double origin = 1e300;
  for (size_t k = 0; k < seen.size(); ++k) {
    if (seen[k] >= 0) origin = std::min(origin, seen[k] - static_cast<double>(k) * kFrameMs);
  }
  std::vector<double> late;
  size_t latest = 0;
  for (size_t k = 0; k < seen.size(); ++k) {
    if (seen[k] < 0) continue;
    late.push_back(seen[k] - origin - static_cast<double>(k) * kFrameMs);
    if (seen[latest] < 0 || late.back() > seen[latest] - origin - static_cast<double>(latest) * kFrameMs) latest = k;
  }
  std::sort(late.begin(), late.end());
  const double median = late.empty() ? -1 : late[late.size() / 2];
  const double worst = late.empty() ? -1 : late.back();
  std::printf("  %-10s frames due %zu, shown %zu; late against the file's clock: median %.1f ms, worst %.1f ms"
              " (target 10 / 25); a screen read every %.1f ms\n",
              label, seen.empty() ? size_t{0} : seen.size() - 1, late.size(), median, worst,
              polls > 0 ? wallMs / polls : 0.0);
  std::printf("  %-10s the latest was change %zu of the watch\n", label, latest);
  std::printf("  %-10s viewer CPU %.0f ms in %.0f ms: %.2f of one core (target <= 0.33 at the fitted size)\n", label,
              cpuMs, wallMs, cpuMs / wallMs);
}

}  // namespace

int main() {
  int rounds = 5;
  const std::vector<std::wstring> arguments = ProgramArguments();
  for (size_t i = 1; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == L"--rounds") rounds = std::max(1, _wtoi(arguments[i + 1].c_str()));
  }
  const std::wstring folder = MakeScratchDir(L"animation-bench");
  const std::wstring playing = folder + L"\\play\\50ms.gif", many = folder + L"\\many\\500.gif",
                     still = folder + L"\\still\\still.gif";
  for (const wchar_t* sub : {L"\\play", L"\\many", L"\\still"}) CreateDirectoryW((folder + sub).c_str(), nullptr);
  if (!WriteFileBytes(playing, MakeAnimation(kCodes)) || !WriteFileBytes(many, MakeAnimation(500)) ||
      !WriteFileBytes(still, MakeAnimation(1))) {
    std::printf("the GIFs could not be written in %s\n", Narrow(folder).c_str());
    return 1;
  }
  const double bitmapMb = 4.0 * kWidth * kHeight / (1024.0 * 1024.0);

  std::printf("(a) a %d x %d GIF of %d ms frames, %.0f s watched from outside\n", kWidth, kHeight, kFrameMs,
              kWatchMs / 1000);
  {
    Started s;
    if (Start(playing, s)) {
      Sleep(500);
      Playback(s, "fitted");
      for (int i = 0; i < 6; ++i) s.viewer.PostKey(VK_UP);  // 1.2^6: 3 x
      Sleep(1000);
      Playback(s, "at 3 x");
    }
    Close(s);
  }

  std::printf("(b) start -> first frame, a 500-frame GIF against a still one of the same size (medians of %d)\n",
              rounds);
  std::vector<double> startMany, startStill, peaks;
  double stillPeak = 0;
  for (int round = 0; round <= rounds; ++round) {
    for (int which = 0; which < 2; ++which) {
      const bool manyFirst = round % 2 == 0;
      const bool isMany = (which == 0) == manyFirst;
      Started s;
      const bool ok = Start(isMany ? many : still, s);
      if (ok && round > 0) (isMany ? startMany : startStill).push_back(s.firstFrameMs);
      if (ok && isMany && round == rounds) {
        Sleep(static_cast<DWORD>(kWatchMs));  // (c): memory after playing a while
        peaks.push_back(PeakWorkingSetMb(s.viewer.ProcessId()));
      }
      if (ok && !isMany && round == rounds) {
        Sleep(1000);
        stillPeak = PeakWorkingSetMb(s.viewer.ProcessId());
      }
      Close(s);
    }
  }
  const double m = Median(startMany), st = Median(startStill);
  std::printf("  500 frames %.0f ms, still %.0f ms: %.2f (target <= 1.1)\n", m, st, st > 0 ? m / st : 0.0);
  if (!peaks.empty()) {
    std::printf("(c) peak working set after %.0f s of the 500 frames: %.0f MB; a still start of the same GIF %.0f MB;"
                " the difference %.0f MB against the target's bitmap x 6 + 30 MB = %.0f MB\n",
                kWatchMs / 1000, peaks.back(), stillPeak, peaks.back() - stillPeak, bitmapMb * 6 + 30);
  }
  RemoveTree(folder);
  return 0;
}
