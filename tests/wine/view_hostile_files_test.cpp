// Every shared test file, malformed ones included, is decoded and drawn without a crash or hang.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imagelist/win32/image_list.h"
#include "support/test_paths.h"
#include "view/view_state.h"
#include "view/win32/dib_image.h"
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
      EXPECT_EQ(Turn(viewer_, kTurnClockwise), 0);
      ++drawn;
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(viewState.loadFailed, 1);
      EXPECT_EQ(Redraw(viewer_), -1);
      ++failed;
    }
  }
  std::printf("hostile files: %d drawn, %d failed to load, %zu in all\n", drawn, failed, files.size());
  EXPECT_EQ(drawn + failed, static_cast<int>(files.size()));
  EXPECT_GT(drawn, 0);
}

}  // namespace
