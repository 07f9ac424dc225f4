// What the viewer's own decode of a file costs once the process is warm: DecodeFile, as the
// worker calls it for a start (the one read, the facts, the library's threads, the colour
// conversion to the display), medians of 7 for each file given. bench/start_from_linux.sh uses it
// for the start target of the newer formats, "the bare window + that file's decode + 60 ms", so
// the decode is timed on the very files the starts are timed on. Prints figures; not a test.
//   decode_bench.exe FILE...
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/image_decode.h"
#include "picture/win32/dib_image.h"
#include "support/test_paths.h"

namespace {

constexpr int kRuns = 7;

}  // namespace

int main() {
  const std::vector<std::wstring> arguments = ProgramArguments();
  if (arguments.size() < 2) {
    std::printf("usage: decode_bench.exe FILE...\n");
    return 2;
  }
  int status = 0;
  for (size_t i = 1; i < arguments.size(); ++i) {
    std::vector<double> times;
    int width = 0, height = 0;
    for (int run = 0; run < kRuns; ++run) {
      CImage image;
      DecodeFacts facts;
      const double t = NowMs();
      if (!DecodeFile(arguments[i], DisplayTargetOf(nullptr), image, facts, nullptr)) break;
      times.push_back(NowMs() - t);
      width = image.Width();
      height = image.Height();
    }
    if (times.size() != static_cast<size_t>(kRuns)) {
      std::printf("decode: %ls did not decode\n", arguments[i].c_str());
      status = 1;
      continue;
    }
    std::printf("decode: %ls %d x %d median %.1f ms (of %d; fastest %.1f ms)\n", arguments[i].c_str(), width, height,
                Median(times), kRuns, *std::min_element(times.begin(), times.end()));
  }
  return status;
}
