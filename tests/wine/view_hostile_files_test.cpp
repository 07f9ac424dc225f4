// Every shared test file, malformed ones included, is decoded and drawn without a crash or hang.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/win32/image_decode.h"
#include "decode/jpeg/win32/jpeg_decode.h"
#include "decode/win32/picture_header_check.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "support/test_paths.h"
#include "view/view_state.h"
#include "view/win32/render.h"
#include "view_fixture.h"

namespace {

using ViewHostileFilesTest = ViewWindowTest;

TEST_F(ViewHostileFilesTest, EveryFileEndsDrawnOrMarkedFailed) {
  const std::wstring dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "shared test data absent";
  std::vector<std::wstring> files = FilesUnder(dir);
  ASSERT_FALSE(files.empty());
  int drawn = 0, failed = 0;
  for (const std::wstring& path : files) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    const int32_t result = ShowFile(path);
    if (result == 0) {
      EXPECT_EQ(viewState.loadFailed, 0);
      EXPECT_FALSE(currentImage.IsNull());
      // Zoomed, turned and redrawn from the kept bitmap as a user would.
      viewState.zoom = 4.0f;
      viewState.panX = -100.0f;
      EXPECT_EQ(Turn(View(), kTurnClockwise), 0);
      ++drawn;
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(viewState.loadFailed, 1);
      EXPECT_EQ(Redraw(View()), -1);
      ++failed;
    }
  }
  std::printf("hostile files: %d drawn, %d failed to load, %zu in all\n", drawn, failed, files.size());
  EXPECT_EQ(drawn + failed, static_cast<int>(files.size()));
  EXPECT_GT(drawn, 0);
}

// A small CMYK JPEG whose frame header says 60000 x 60000, behind more empty comment segments
// than the header reader walks: it must be refused, by every route, before any decoder tries it.
TEST_F(ViewHostileFilesTest, HugeCmykFrameBehindEndlessCommentsIsRefused) {
  std::vector<uint8_t> bytes = {0xFF, 0xD8};
  for (int i = 0; i < 70000; ++i) bytes.insert(bytes.end(), {0xFF, 0xFE, 0x00, 0x02});
  const uint8_t frame[] = {0xFF, 0xC0, 0x00, 0x14, 8, 0xEA, 0x60, 0xEA, 0x60, 4,
                           1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0, 4, 0x11, 0};
  bytes.insert(bytes.end(), frame, frame + sizeof frame);
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  const std::wstring path = Scratch(L"cmyk-huge-frame.jpg");
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  EXPECT_EQ(ReadFileHeader(path).format, PictureFormat::kUnknown) << "the header reader is expected to give up";
  EXPECT_TRUE(JpegFrameTooLarge(bytes.data(), bytes.size())) << "libjpeg's own header read must size it";
  EXPECT_EQ(ShowFile(path), -1);
  EXPECT_EQ(viewState.loadFailed, 1);
  CImage image;
  EXPECT_FALSE(DecodeFileToImage(path, image));
  EXPECT_TRUE(image.IsNull());
}

}  // namespace
