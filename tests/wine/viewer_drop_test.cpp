// Files dropped on the viewer window. A drop handle is memory of the receiving process, so
// the window is created here, from its real template, and given a drop built in this process.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resource.h"
#include "viewer_window_fixture.h"

namespace {

class ViewerDrop : public ViewerWindowTest {
 protected:
  void SetUp() override {
    first_ = MakeScratchDir(L"drop-first");
    second_ = MakeScratchDir(L"drop-second");
    ASSERT_TRUE(WriteSolidBmp(first_ + L"\\a.bmp", 40, 30, Rgb{255, 0, 0}));
    ASSERT_TRUE(WriteSolidBmp(first_ + L"\\b.bmp", 40, 30, Rgb{255, 0, 0}));
    ASSERT_TRUE(WriteSolidBmp(first_ + L"\\c.bmp", 40, 30, Rgb{255, 0, 0}));
    ASSERT_TRUE(WriteSolidBmp(second_ + L"\\x.bmp", 40, 30, Rgb{0, 0, 255}));
    ASSERT_TRUE(WriteSolidBmp(second_ + L"\\y.bmp", 40, 30, Rgb{0, 255, 0}));
    ASSERT_TRUE(WriteFileBytes(second_ + L"\\notes.txt", {}));

    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    // Start as if the viewer had been opened on c.bmp, the last of three.
    OpenStartFile(true, first_ + L"\\c.bmp");
    ASSERT_EQ(ImageList.size(), 3u);
    ASSERT_EQ(currentIndex, 2);
  }
  void TearDown() override {
    RemoveTree(first_);
    RemoveTree(second_);
  }

  void Drop(const std::vector<std::wstring>& paths) {
    HGLOBAL drop = MakeDrop(paths);
    SendMessageW(viewer_.GetSafeHwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(GlobalFlags(drop), static_cast<UINT>(GMEM_INVALID_HANDLE)) << "the drop handle must be released";
    WaitForPicture();
  }

  std::wstring first_, second_;
};

TEST_F(ViewerDrop, FileFromAnotherFolderReplacesTheListAndIsShown) {
  viewState.zoom = 2.0f;
  Drop({second_ + L"\\y.bmp", first_ + L"\\a.bmp"});  // only the first file counts
  ASSERT_EQ(ImageList.size(), 2u);
  EXPECT_EQ(currentIndex, 1);
  EXPECT_EQ(Caption(), L"Vistrel - y.bmp");
  EXPECT_EQ(viewState.zoom, 1.0f);
  EXPECT_EQ(CentreOfFrame(), 0x0000FF00u) << "expected the dropped green picture in the frame";
}

TEST_F(ViewerDrop, UnlistedFileKeepsAPositionInsideTheNewList) {
  // Position 2 does not exist in a folder of two images: the first one is shown instead.
  Drop({second_ + L"\\notes.txt"});
  ASSERT_EQ(ImageList.size(), 2u);
  EXPECT_EQ(currentIndex, 0);
  EXPECT_EQ(Caption(), L"Vistrel - x.bmp");
  EXPECT_EQ(CentreOfFrame(), 0x000000FFu) << "expected the blue x.bmp in the frame";
}

TEST_F(ViewerDrop, UnlistedFileKeepsAPositionThatStillFits) {
  currentIndex = 1;
  Drop({first_ + L"\\missing.txt"});
  ASSERT_EQ(ImageList.size(), 3u);
  EXPECT_EQ(currentIndex, 1) << "the earlier position stays when it lies inside the list";
}

// A drop does not stop a running slideshow; one that empties the list leaves it running under
// its title until S stops it, and then there is no file left to name.
TEST_F(ViewerDrop, SlideshowEmptiedByADropStopsToTheBareTitle) {
  const std::wstring empty = MakeScratchDir(L"drop-empty");
  ASSERT_TRUE(WriteFileBytes(empty + L"\\readme.txt", {}));
  SendMessageW(viewer_.GetSafeHwnd(), WM_COMMAND, ID_SLIDESHOW, 0);
  ASSERT_EQ(viewState.slideshowRunning, 1);
  Drop({empty + L"\\readme.txt"});
  EXPECT_TRUE(ImageList.empty());
  EXPECT_EQ(viewState.slideshowRunning, 1);
  EXPECT_EQ(Caption(), L"Vistrel - Running Slide Show");
  MSG key{viewer_.GetSafeHwnd(), WM_KEYDOWN, 'S', 0, 0, {}};
  viewer_.FilterQueuedMessage(&key);
  EXPECT_EQ(viewState.slideshowRunning, 0);
  EXPECT_EQ(Caption(), L"Vistrel") << "expected the bare title once nothing is listed";
  RemoveTree(empty);
}

TEST_F(ViewerDrop, NextAndPreviousWrapAndResetTheZoom) {
  viewState.zoom = 3.0f;
  SendMessageW(viewer_.GetSafeHwnd(), WM_COMMAND, ID_NEXT, 0);
  EXPECT_EQ(currentIndex, 0);
  EXPECT_EQ(viewState.zoom, 1.0f);
  EXPECT_EQ(Caption(), L"Vistrel - a.bmp");
  SendMessageW(viewer_.GetSafeHwnd(), WM_COMMAND, ID_PREVIOUS, 0);
  EXPECT_EQ(currentIndex, 2);
  EXPECT_EQ(Caption(), L"Vistrel - c.bmp");
}

}  // namespace
