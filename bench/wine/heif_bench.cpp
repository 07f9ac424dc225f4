// A 12-megapixel HEIF decoded inside Vistrel (DecodeFile: the one read, the format table's facts,
// libheif from libheif.dll, the rows into a DIB) against a bare libheif call on the same DLL (the
// file read, the context, the primary image decoded to interleaved RGB, everything released),
// with the threads Vistrel gives it, and against that bare call on one thread. Medians of several
// interleaved runs; also the peak memory of one decode beyond its bitmap, in a process of its own.
// Prints figures; it is not a test.
//
//   heif_bench.exe FILE          FILE: a 12 MP HEIF, e.g. bench/make_heif_bench_picture.sh OUT.heic
//   heif_bench.exe --memory ROUTE FILE RESULT   (used by the above) peak growth of one decode by
//                                ROUTE ("vistrel" or "bare"), also written to RESULT
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <libheif/heif.h>

#include "bench_timing.h"
#include "decode/heif/heif_api.h"
#include "decode/win32/image_decode.h"
#include "framework/unique_handle.h"
#include "picture/win32/dib_image.h"
#include "support/test_paths.h"

namespace {

constexpr int kRuns = 7;

int Cores() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)); }

// The bare call: read, decode to interleaved RGB(A) with `threads`, release. The pixels' checksum
// keeps the work from being skipped; -1 on failure.
long long BareDecode(const std::wstring& path, int threads, bool rgb = true) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes)) return -1;
  heif_context* context = heif_context_alloc();
  heif_context_set_max_decoding_threads(context, threads > 1 ? threads : 0);
  vistrel_set_hevc_threads(threads);
  long long sum = -1;
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  if (heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr).code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const heif_error error =
        rgb ? heif_decode_image(handle, &image, heif_colorspace_RGB,
                                alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr)
            : heif_decode_image(handle, &image, heif_colorspace_undefined, heif_chroma_undefined, nullptr);
    if (error.code == heif_error_Ok) {
      const heif_channel channel = rgb ? heif_channel_interleaved : heif_channel_Y;
      int stride = 0;
      const uint8_t* plane = heif_image_get_plane_readonly(image, channel, &stride);
      sum = plane != nullptr ? plane[0] + plane[stride * (heif_image_get_height(image, channel) - 1)] : -1;
    }
  }
  if (image != nullptr) heif_image_release(image);
  if (handle != nullptr) heif_image_handle_release(handle);
  heif_context_free(context);
  return sum;
}

// The process's CPU time so far (every thread's, user and kernel), in milliseconds: beside the
// wall clock, it shows the work itself on a machine that other programs share.
double CpuMs() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

double PeakWorkingSetMb() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

int MemoryRun(const std::wstring& route, const std::wstring& path, const std::wstring& result) {
  std::vector<uint8_t> bytes;
  ReadFileBytes(path, &bytes);
  const double fileMb = static_cast<double>(bytes.size()) / (1024.0 * 1024.0);
  bytes = {};
  const double before = PeakWorkingSetMb();
  double bitmapMb = 0;
  bool ok = false;
  if (route == L"vistrel") {
    CImage image;
    ok = DecodeFileToImage(path, image);
    bitmapMb = ok ? static_cast<double>(-image.Pitch()) * image.Height() / (1024.0 * 1024.0) : 0;
  } else {
    ok = BareDecode(path, Cores()) >= 0;
  }
  const double growth = PeakWorkingSetMb() - before;
  if (route == L"vistrel") {
    std::printf("  memory, Vistrel: peak growth %.1f MB for one decode: the file %.1f MB, the DIB %.1f MB, "
                "libheif and libde265 %.1f MB beyond them\n",
                growth, fileMb, bitmapMb, growth - fileMb - bitmapMb);
  } else {
    std::printf("  memory, bare libheif: peak growth %.1f MB (the file %.1f MB and libheif's RGB image included)\n",
                growth, fileMb);
  }
  std::fflush(stdout);
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%.3f\n", growth);
  return ok && WriteFileBytes(result, std::vector<uint8_t>(text, text + length)) ? 0 : 1;
}

void MemoryChild(const std::wstring& route, const std::wstring& path) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring result = MakeScratchDir(L"heif-bench-memory") + L"\\memory.txt";
  std::wstring command = L"\"" + std::wstring(self) + L"\" --memory " + route + L" \"" + path + L"\" \"" + result + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("  memory: could not start the run, error %lu\n", GetLastError());
    return;
  }
  KernelHandle process(pi.hProcess);
  KernelHandle thread(pi.hThread);
  if (WaitForSingleObject(process.Get(), 120000) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 1);
    std::printf("  memory: the run did not end in 2 minutes\n");
  }
}

}  // namespace

int main() {
  const std::vector<std::wstring> argv = ProgramArguments();
  const size_t argc = argv.size();
  if (argc == 5 && argv[1] == L"--memory") return MemoryRun(argv[2], argv[3], argv[4]);
  if (argc != 2) {
    std::printf("usage: heif_bench.exe FILE.heic (make one with bench/make_heif_bench_picture.sh)\n");
    return 2;
  }
  const std::wstring path = argv[1];
  const int cores = Cores();
  CImage image;
  if (!DecodeFileToImage(path, image)) {
    std::printf("Vistrel could not decode the file\n");
    return 1;
  }
  std::printf("HEIF %dx%d, %d cores; %d runs of each, interleaved, after one of each\n", image.Width(), image.Height(),
              cores, kRuns);
  image.Destroy();
  if (BareDecode(path, cores) < 0 || BareDecode(path, 1) < 0) {
    std::printf("the bare call could not decode the file\n");
    return 1;
  }
  // Each route's wall time and CPU time, interleaved so that a change of load hits all alike.
  std::vector<double> wall[4], cpu[4];
  const auto time = [&](int route, auto&& decode) {
    const double start = NowMs(), startCpu = CpuMs();
    decode();
    wall[route].push_back(NowMs() - start);
    cpu[route].push_back(CpuMs() - startCpu);
  };
  for (int run = 0; run < kRuns; ++run) {
    time(0, [&] { DecodeFileToImage(path, image), image.Destroy(); });
    time(1, [&] { BareDecode(path, cores); });
    time(2, [&] { BareDecode(path, 1); });
    time(3, [&] { BareDecode(path, cores, false); });
  }
  double w[4], c[4];
  for (int route = 0; route < 4; ++route) w[route] = Median(wall[route]), c[route] = Median(cpu[route]);
  std::printf("  Vistrel's DecodeFile: %.1f ms (CPU %.1f ms)\n", w[0], c[0]);
  std::printf("  bare libheif, %d threads: %.1f ms (CPU %.1f ms); Vistrel / bare %.2f (target <= 1.1), CPU %.2f\n",
              cores, w[1], c[1], w[0] / w[1], c[0] / c[1]);
  std::printf("  bare libheif, 1 thread: %.1f ms (CPU %.1f ms); Vistrel / bare on one thread %.2f (target <= 0.75)\n",
              w[2], c[2], w[0] / w[2]);
  std::printf("  bare libheif, %d threads, its own YCbCr planes (no RGB conversion): %.1f ms (CPU %.1f ms)\n", cores,
              w[3], c[3]);
  std::fflush(stdout);
  MemoryChild(L"vistrel", path);
  MemoryChild(L"bare", path);
  return 0;
}
