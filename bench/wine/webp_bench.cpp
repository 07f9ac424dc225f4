// What a WebP costs inside Vistrel against libwebp alone: a 12 MP photo-like picture, written as a
// JPEG here and turned into a lossy and a lossless WebP by the host's cwebp at bench time, decoded
// by DecodeFile (the file read once, its facts, the DIB, libwebp writing into it through the
// incremental decoder) against one WebPDecodeBGRA call on the same bytes already in memory, with
// the same libwebp build. Medians of 7, the two taking turns, in one process. Target: at most
// 1.1. Prints figures; it is not a test.
//   webp_bench.exe
#include <windows.h>

#include <webp/decode.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/image_decode.h"
#include "picture/win32/dib_image.h"
#include "support/host_tool.h"
#include "support/photo_jpeg.h"
#include "support/test_paths.h"

namespace {

constexpr int kRuns = 7;

bool Measure(const char* label, const std::wstring& path) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes)) return false;
  std::vector<double> ours, bare;
  int width = 0, height = 0;
  for (int run = 0; run < kRuns; ++run) {
    CImage image;
    DecodeFacts facts;
    double t = NowMs();
    if (!DecodeFile(path, DisplayTargetOf(nullptr), image, facts, nullptr)) {
      std::printf("%s: DecodeFile failed\n", label);
      return false;
    }
    ours.push_back(NowMs() - t);
    t = NowMs();
    uint8_t* pixels = WebPDecodeBGRA(bytes.data(), bytes.size(), &width, &height);
    bare.push_back(NowMs() - t);
    if (pixels == nullptr) {
      std::printf("%s: WebPDecodeBGRA failed\n", label);
      return false;
    }
    WebPFree(pixels);
  }
  const double o = Median(ours), b = Median(bare);
  std::printf("| %s, %d x %d, %.1f MB | %.1f ms | %.1f ms | %.2f |\n", label, width, height, bytes.size() / 1e6, o, b,
              o / b);
  return true;
}

}  // namespace

int main() {
  if (!HostHasProgram("/usr/bin/cwebp")) {
    std::printf("cwebp (Debian's webp) is not on the host: no WebP to time\n");
    return 1;
  }
  const std::wstring folder = MakeScratchDir(L"webp-bench");
  const std::wstring jpeg = folder + L"\\photo.jpg";
  if (!WritePhotoJpeg(jpeg, 4000, 3000, 7)) {
    std::printf("the photo could not be written\n");
    return 1;
  }
  const std::string in = UnixPathOf(jpeg);
  struct Kind {
    const char* label;
    const char* options;
    const wchar_t* name;
  } kinds[] = {{"lossy (cwebp -q 80)", "-q 80", L"lossy.webp"},
               {"lossless (cwebp -lossless -z 1)", "-lossless -z 1", L"lossless.webp"}};
  std::printf("| 12 MP WebP | DecodeFile | WebPDecodeBGRA | Vistrel / bare |\n|---|---|---|---|\n");
  for (const Kind& kind : kinds) {
    const std::wstring out = folder + L"\\" + kind.name;
    const std::string command =
        std::string("/usr/bin/cwebp -quiet ") + kind.options + " '" + in + "' -o '" + UnixPathOf(out) + "'";
    if (RunOnHost(command, folder, 600000) != 0 || !Measure(kind.label, out)) {
      std::printf("%s: no figures (%s)\n", kind.label, command.c_str());
    }
  }
  RemoveTree(folder);
  return 0;
}
