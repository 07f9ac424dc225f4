// Writes the APNG frame fuzzer's committed seeds into fuzz/corpus/apng_frames: a few tiny
// animations covering each dispose_op and blend_op, frames at offsets, a default image that is no
// frame and a palette with alpha. Run by hand after changing them:
//   cmake --build --preset native --target make_apng_corpus && build/native/make_apng_corpus fuzz/corpus
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "support/test_apng.h"

int main(int argc, char** argv) {
  std::string argument;
  if (!FolderArgument(argc, argv, argument)) return 2;
  const std::string folder = argument + "/apng_frames/";
  auto argb = [](int32_t x, int32_t y) { return (x + y) % 3 == 0 ? 0x80FF0000u : (x + y) % 3 == 1 ? 0xFF00FF00u : 0u; };
  auto indices = [](int32_t x, int32_t y) { return static_cast<uint32_t>((x + y) % 3); };
  bool ok = true;
  for (uint8_t dispose = 0; dispose < 3; ++dispose) {
    const std::function<uint32_t(int32_t, int32_t)> stripes = dispose == 2 ? indices : argb;
    const std::vector<ApngFrameSpec> frames = {
        {0, 0, 5, 4, 1, 10, dispose, 0, stripes},
        {1, 1, 3, 2, 0, 0, dispose, 1, stripes},
        {2, 0, 3, 4, 3, 100, 1, uint8_t(dispose == 1 ? 0 : 1), stripes},
    };
    ApngOptions options;
    options.plays = dispose;
    if (dispose == 2) {
      options.palette = {0xFF0000FFu, 0x4000FF00u, 0x00000000u};
      options.hiddenDefault = indices;
    }
    ok &= Write(folder + "dispose-" + std::to_string(dispose) + ".png",
                EncodeApng(5, 4, frames, options));
  }
  return ok ? 0 : 1;
}
