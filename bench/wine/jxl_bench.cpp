// What a JPEG XL picture costs inside the viewer, against libjxl alone in the same run:
// (a) DecodeFile (the one read, the facts, libjxl with one thread per core writing into the DIB,
//     the rows turned to blue first and bottom-up, the colour check) against a bare call of the
//     same libjxl (the read, then the whole file decoded into one RGB buffer by the same thread
//     pool); target at most 1.1;
// (b) DecodeFile against that bare call on one thread; target at most 0.75.
// Medians of 7, the routes taking turns. bench/jxl_bench.sh makes the picture (12 MP, cjxl) and
// runs this. Prints figures; it is not a test.
//   jxl_bench.exe PICTURE.jxl
#include <windows.h>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/file_bytes.h"
#include "decode/win32/image_decode.h"
#include "picture/win32/dib_image.h"
#include "support/test_paths.h"

namespace {

constexpr int kRuns = 7;

// The file read as the viewer reads it, then libjxl's one-shot decode into an RGB buffer, with
// the thread pool or (threads 1) on the calling thread. False when it does not decode.
bool BareDecode(const std::wstring& path, size_t threads, std::vector<uint8_t>& pixels, size_t& width, size_t& height) {
  FileBytes file;
  if (!ReadWholeFile(path, file)) return false;
  JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
  JxlThreadParallelRunnerPtr runner;
  if (threads > 1) {
    runner = JxlThreadParallelRunnerMake(nullptr, threads);
    if (JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS) return false;
  }
  if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS) return false;
  JxlDecoderSetInput(decoder.get(), file.bytes.get(), file.size);
  JxlDecoderCloseInput(decoder.get());
  const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
    if (status == JXL_DEC_BASIC_INFO) {
      JxlBasicInfo info;
      if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) return false;
      width = info.xsize, height = info.ysize;
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      pixels.resize(width * height * 3);
      if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, pixels.data(), pixels.size()) != JXL_DEC_SUCCESS)
        return false;
    } else {
      return status == JXL_DEC_FULL_IMAGE;
    }
  }
}

}  // namespace

int main() {
  const std::vector<std::wstring> arguments = ProgramArguments();
  if (arguments.size() < 2) {
    std::printf("usage: jxl_bench.exe PICTURE.jxl\n");
    return 2;
  }
  const std::wstring path = arguments[1];
  const size_t cores = JxlThreadParallelRunnerDefaultNumWorkerThreads();
  std::vector<double> viewer, bare, single;
  size_t width = 0, height = 0;
  for (int run = 0; run < kRuns; ++run) {
    CImage image;
    DecodeFacts facts;
    double t = NowMs();
    if (!DecodeFile(path, DisplayTargetOf(nullptr), image, facts, nullptr)) {
      std::printf("the viewer did not decode the picture\n");
      return 1;
    }
    viewer.push_back(NowMs() - t);
    std::vector<uint8_t> pixels;
    t = NowMs();
    if (!BareDecode(path, cores, pixels, width, height)) {
      std::printf("libjxl did not decode the picture\n");
      return 1;
    }
    bare.push_back(NowMs() - t);
    // The same numbers both ways, every one (the viewer's in blue-first, bottom-up rows).
    for (size_t y = 0; run == 0 && y < height; ++y) {
      const uint8_t* row = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch();
      for (size_t x = 0; x < width; ++x) {
        if (static_cast<size_t>(image.Width()) != width || row[x * 3] != pixels[(y * width + x) * 3 + 2] ||
            row[x * 3 + 1] != pixels[(y * width + x) * 3 + 1] || row[x * 3 + 2] != pixels[(y * width + x) * 3]) {
          std::printf("the two routes disagree at (%zu, %zu)\n", x, y);
          return 1;
        }
      }
    }
    t = NowMs();
    if (!BareDecode(path, 1, pixels, width, height)) return 1;
    single.push_back(NowMs() - t);
  }
  const double v = Median(viewer), b = Median(bare), s = Median(single);
  std::printf("| %zu x %zu JPEG XL, %zu threads | DecodeFile | bare libjxl | viewer / bare (<= 1.1) |"
              " bare libjxl, one thread | viewer / one thread (<= 0.75) |\n|---|---|---|---|---|---|\n",
              width, height, cores);
  std::printf("| medians of %d | %.1f ms | %.1f ms | %.2f | %.1f ms | %.2f |\n", kRuns, v, b, v / b, s, v / s);
  return 0;
}
