// Stepping through the folder with the Next and Previous commands.
#include <windows.h>
#include <gdiplus.h>

#include "e2e/picture_test_folder.h"
#include "resource.h"
#include "support/photo_jpeg.h"

namespace e2e {
namespace {

using Navigation = PictureViewerTest;

TEST_F(Navigation, NextAndPreviousWrapAtBothEnds) {
  ASSERT_NO_FATAL_FAILURE(StartOn(kBlue));  // the last of the three
  viewer_.PostCommand(ID_NEXT);
  ExpectShowing(kRed);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kBlue);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kGreen);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kRed);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kBlue);
}

// The start file is found whatever the case of A to Z in the argument.
TEST_F(Navigation, StartFileIsFoundWhenTheArgumentDiffersInCase) {
  std::wstring argument = PathOf(kGreen);
  for (wchar_t& c : argument) c = static_cast<wchar_t>(towupper(c));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(argument)));
  ExpectShowing(kGreen);
}

// The start file is shown before its folder is listed. Keys that come meanwhile wait for the
// list and then act in order: on the provisional one-entry list, Right would only have shown the
// start file again.
TEST_F(ViewerTest, KeysBeforeTheListingEndOnTheRightPictureAndTitle) {
  const std::wstring folder = scratch_ + L"\\many";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring green = folder + L"\\green.bmp";
  ASSERT_TRUE(WriteSolidBmp(green, 40, 30, Rgb{0, 200, 0}));
  auto name = [](int i) {
    wchar_t text[32];
    swprintf(text, 32, L"img%04d.bmp", i);
    return std::wstring(text);
  };
  for (int i = 1; i <= 800; ++i) {
    if (i == 400) continue;
    ASSERT_TRUE(CreateHardLinkW((folder + L"\\" + name(i)).c_str(), green.c_str(), nullptr)) << Narrow(name(i));
  }
  // A large start picture: its decode is still running when the keys arrive.
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
  const bool made = WritePhotoJpeg(folder + L"\\img0400.jpg", 4000, 3000, 7);
  Gdiplus::GdiplusShutdown(token);
  ASSERT_TRUE(made);

  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(folder + L"\\img0400.jpg")));
  for (UINT key : {VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_LEFT}) viewer_.PostKey(key);
  std::wstring seen;
  EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - img0402.bmp", kStateTimeoutMs, &seen))
      << "expected the caption \"Vistrel - img0402.bmp\", got \"" << Narrow(seen) << "\"";
  EXPECT_TRUE(viewer_.WaitForStillPicture(kStateTimeoutMs));
  const RECT client = viewer_.ClientScreenEdges();
  Rgb centre;
  EXPECT_TRUE(viewer_.WaitForClientPixel((client.right - client.left) / 2, (client.bottom - client.top) / 2,
                                         Rgb{0, 200, 0}, 2, kStateTimeoutMs, &centre))
      << "expected the green picture in the middle, got " << ToString(centre);
}

}  // namespace
}  // namespace e2e
