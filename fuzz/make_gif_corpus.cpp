// Writes the GIF frame fuzzer's committed seeds into fuzz/corpus/gif_frames: a few tiny
// animations covering each disposal, transparency, local tables, interlaced rows and frames past
// the canvas. Run by hand after changing them:
//   cmake --build --preset native --target make_gif_corpus && build/native/make_gif_corpus fuzz/corpus
#include <cstdio>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "support/test_gif.h"

int main(int argc, char** argv) {
  std::string argument;
  if (!FolderArgument(argc, argv, argument)) return 2;
  const std::string folder = argument + "/gif_frames/";
  const std::vector<uint32_t> palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  auto stripes = [](int32_t x, int32_t y) { return static_cast<uint8_t>((x + y) % 4); };
  bool ok = true;
  for (int disposal = 0; disposal < 4; ++disposal) {
    std::vector<GifFrameSpec> frames = {
        {0, 0, 6, 5, disposal, 3, -1, false, {}, stripes},
        {2, 1, 7, 6, disposal, 0, 1, disposal == 3, disposal == 2 ? palette : std::vector<uint32_t>{}, stripes},
        {1, 1, 2, 2, 1, 12, 3, false, {}, stripes},
    };
    ok &= Write(folder + "disposal-" + std::to_string(disposal) + ".gif",
                EncodeAnimatedGif(6, 5, palette, frames, disposal == 1 ? -1 : disposal));
  }
  return ok ? 0 : 1;
}
