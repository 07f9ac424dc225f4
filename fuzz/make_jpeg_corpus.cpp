// Writes the JPEG row decoder fuzzer's seed inputs into the folder given (fuzz/corpus/jpeg_rows):
// small files of every layout the decoder takes or leaves, compressed by libjpeg-turbo from code.
// The seeds are kept in the repository; run this again only to make them anew:
//   cmake --build --preset native --target make_jpeg_corpus
//   build/native/make_jpeg_corpus fuzz/corpus/jpeg_rows
#include <cstdio>
#include <string>

#include "corpus_files.h"
#include "support/test_jpeg.h"

int main(int argc, char** argv) {
  std::string argument;
  if (!FolderArgument(argc, argv, argument)) return 2;
  const std::string folder = argument;
  TestJpegOptions progressive = JpegOptions(TestJpegColour::kYcc420, 33, 17);
  progressive.progressive = true;
  TestJpegOptions greyProgressive = JpegOptions(TestJpegColour::kGrey, 19, 21);
  greyProgressive.progressive = true;
  TestJpegOptions restarts = JpegOptions(TestJpegColour::kYcc420, 40, 24);
  restarts.restartRows = 1;
  TestJpegOptions arithmetic = JpegOptions(TestJpegColour::kYcc422, 21, 13);
  arithmetic.arithmetic = true;
  TestJpegOptions arithmeticProgressive = progressive;
  arithmeticProgressive.arithmetic = true;
  const std::string colour420 = MakeTestJpeg(JpegOptions(TestJpegColour::kYcc420, 24, 16));
  const struct {
    const char* name;
    std::string bytes;
  } seeds[] = {
      {"444.jpg", MakeTestJpeg(JpegOptions(TestJpegColour::kYcc444, 17, 9))},
      {"422.jpg", MakeTestJpeg(JpegOptions(TestJpegColour::kYcc422, 17, 9))},
      {"420.jpg", colour420},
      {"grey.jpg", MakeTestJpeg(JpegOptions(TestJpegColour::kGrey, 15, 11))},
      {"rgb.jpg", MakeTestJpeg(JpegOptions(TestJpegColour::kRgb, 9, 7))},
      {"cmyk.jpg", MakeTestJpeg(JpegOptions(TestJpegColour::kCmyk, 8, 8))},
      {"ycck.jpg", MakeTestJpeg(JpegOptions(TestJpegColour::kYcck, 19, 10))},
      {"progressive.jpg", MakeTestJpeg(progressive)},
      {"grey-progressive.jpg", MakeTestJpeg(greyProgressive)},
      {"restarts.jpg", MakeTestJpeg(restarts)},
      {"arithmetic.jpg", MakeTestJpeg(arithmetic)},
      {"arithmetic-progressive.jpg", MakeTestJpeg(arithmeticProgressive)},
      {"truncated.jpg", colour420.substr(0, colour420.size() * 2 / 3)},
  };
  for (const auto& seed : seeds) {
    if (!Write(folder + "/" + seed.name, seed.bytes)) {
      std::fprintf(stderr, "could not write %s/%s\n", folder.c_str(), seed.name);
      return 1;
    }
  }
  return 0;
}
