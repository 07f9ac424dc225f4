// A folder whose path is far beyond 260 characters, on the real viewer window: dropped on it,
// its pictures are listed, decoded and stepped through, and the list keeps the plain paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "viewer_window_fixture.h"

namespace {

const std::wstring kExtended = L"\\\\?\\";

class ViewerLongPath : public ViewerWindowTest {
 protected:
  void SetUp() override {
    scratch_ = MakeScratchDir(L"long-path");
    // Folders of 60 characters each until the pictures' paths pass 300 characters; made
    // through the extended form, which this test program needs for them.
    folder_ = scratch_;
    for (wchar_t level = L'a'; folder_.size() < 300; ++level) {
      folder_ += L"\\" + std::wstring(60, level);
      ASSERT_TRUE(CreateDirectoryW((kExtended + folder_).c_str(), nullptr)) << "error " << GetLastError();
    }
    ASSERT_TRUE(WriteSolidBmp(kExtended + folder_ + L"\\a.bmp", 40, 30, Rgb{255, 0, 0}));
    ASSERT_TRUE(WriteSolidBmp(kExtended + folder_ + L"\\b.bmp", 40, 30, Rgb{0, 0, 255}));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
  }
  void TearDown() override { RemoveTree(kExtended + scratch_); }

  std::wstring scratch_, folder_;
};

TEST_F(ViewerLongPath, DroppedFileIsListedShownAndSteppedFrom) {
  const std::wstring start = folder_ + L"\\a.bmp";
  const std::wstring other = folder_ + L"\\b.bmp";
  ASSERT_GE(start.size(), 300u);
  EXPECT_EQ(ListedPathOf(start).value_or(L"(nothing)"), start) << "the start argument's file is known at once";

  HGLOBAL drop = MakeDrop({start});
  SendMessageW(Hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  WaitForPicture();
  ASSERT_EQ(ImageList.size(), 2u) << "expected both pictures of the long folder listed";
  EXPECT_EQ(ImageList[0], start) << "the list keeps the plain path";
  EXPECT_EQ(ImageList[1], other);
  EXPECT_EQ(currentIndex, 0);
  EXPECT_EQ(Caption(), L"Vistrel - a.bmp");
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u) << "expected the red a.bmp decoded into the frame";

  MSG right{GetDlgItem(Hwnd(), IDC_PICTURE), WM_KEYDOWN, VK_RIGHT, 0, 0, {}};
  viewer_.FilterQueuedMessage(&right);
  WaitForPicture();
  EXPECT_EQ(currentIndex, 1);
  EXPECT_EQ(Caption(), L"Vistrel - b.bmp");
  EXPECT_EQ(CentreOfFrame(), 0x000000FFu) << "expected the blue b.bmp decoded into the frame";
}

}  // namespace
