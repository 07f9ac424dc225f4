// Pictures prepared ahead on the worker: a step onto one is drawn at once, and what is drawn is
// always what the file holds now, whatever was replaced, dropped or stepped meanwhile.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "commands/win32/slideshow.h"
#include "framework/unique_handle.h"
#include "resource.h"
#include "viewer_window_fixture.h"

namespace {

constexpr uint32_t kRed = 0x00FF0000;
constexpr uint32_t kGreen = 0x0000FF00;
constexpr uint32_t kBlue = 0x000000FF;
constexpr uint32_t kYellow = 0x00FFFF00;
constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kCyan = 0x0000FFFF;

class ViewerPrefetch : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"prefetch");
    other_ = MakeScratchDir(L"prefetch-other");
    ASSERT_TRUE(WriteSolidBmp(Path(L"a.bmp"), 40, 30, Rgb{255, 0, 0}));
    ASSERT_TRUE(WriteSolidBmp(Path(L"b.bmp"), 40, 30, Rgb{0, 255, 0}));
    ASSERT_TRUE(WriteSolidBmp(Path(L"c.bmp"), 40, 30, Rgb{0, 0, 255}));
    ASSERT_TRUE(WriteSolidBmp(Path(L"d.bmp"), 40, 30, Rgb{255, 255, 0}));
    ASSERT_TRUE(WriteSolidBmp(other_ + L"\\x.bmp", 40, 30, Rgb{0, 255, 255}));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    OpenStartFile(true, Path(L"d.bmp"));
    Step(ID_NEXT);  // onto a.bmp, decoded on the worker; its neighbours are prepared next
    ASSERT_EQ(Caption(), L"Vistrel - a.bmp");
  }
  void TearDown() override {
    StopSlideshow(State().commands);
    RemoveTree(folder_);
    RemoveTree(other_);
  }

  std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }

  void Step(UINT command) {
    SendMessageW(Hwnd(), WM_COMMAND, command, 0);
    WaitForPicture();
  }
  void WaitForNeighbours() {
    const DWORD start = GetTickCount();
    while (PreparingAhead(Browse()) && GetTickCount() - start < 10000) Pump();
    ASSERT_FALSE(PreparingAhead(Browse())) << "the neighbours were never prepared";
  }
  void Key(WPARAM key) {
    if (!Filter(WM_KEYDOWN, key)) {
      MSG msg{Hwnd(), WM_KEYDOWN, key, 0, 0, {}};
      DispatchMessageW(&msg);
    }
  }
  BOOL Filter(UINT message, WPARAM wParam) {
    MSG msg{Hwnd(), message, wParam, 0, 0, {}};
    return viewer_.FilterQueuedMessage(&msg);
  }
  static void ReplaceKeepingSizeAndTime(const std::wstring& path, const Rgb& colour) {
    WIN32_FILE_ATTRIBUTE_DATA before{};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before));
    Sleep(20);
    ASSERT_TRUE(WriteSolidBmp(path, 40, 30, colour));
    KernelHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file && SetFileTime(file.Get(), nullptr, nullptr, &before.ftLastWriteTime));
    WIN32_FILE_ATTRIBUTE_DATA after{};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &after));
    ASSERT_EQ(after.nFileSizeLow, before.nFileSizeLow);
    ASSERT_EQ(CompareFileTime(&after.ftLastWriteTime, &before.ftLastWriteTime), 0);
  }
  static std::string Hex(uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", colour);
    return text;
  }
  void ExpectShown(const wchar_t* name, uint32_t colour) {
    EXPECT_EQ(Caption(), std::wstring(L"Vistrel - ") + name);
    EXPECT_EQ(CentreOfFrame(), colour) << "expected " << Hex(colour) << " in the frame for " << Narrow(name)
                                       << ", got " << Hex(CentreOfFrame());
  }

  std::wstring folder_;
  std::wstring other_;
};

// A step onto a prepared neighbour is drawn before the window's thread takes any message, in
// both directions, and a neighbour whose file changed since is decoded afresh once the worker
// has checked the file (the window's thread reads no file).
TEST_F(ViewerPrefetch, StepsOntoPreparedPicturesAtOnceAndNeverShowAStaleOne) {
  ASSERT_NO_FATAL_FAILURE(WaitForNeighbours());
  SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
  EXPECT_FALSE(PictureLoading(Browse())) << "the next picture should have been prepared ahead";
  ExpectShown(L"b.bmp", kGreen);
  ASSERT_NO_FATAL_FAILURE(WaitForNeighbours());
  SendMessageW(Hwnd(), WM_COMMAND, ID_PREVIOUS, 0);
  EXPECT_FALSE(PictureLoading(Browse())) << "the picture left behind should have been kept";
  ExpectShown(L"a.bmp", kRed);
  Step(ID_NEXT);
  ASSERT_NO_FATAL_FAILURE(WaitForNeighbours());

  // c.bmp, prepared while b.bmp is shown, is replaced on disk by a picture of another size.
  ASSERT_TRUE(WriteSolidBmp(Path(L"c.bmp"), 41, 30, Rgb{255, 255, 255}));
  Step(ID_NEXT);
  ExpectShown(L"c.bmp", kWhite);

  // d.bmp, prepared while c.bmp is shown, is replaced by content of the same length, and its old
  // last-write time is put back, as copies that keep timestamps do.
  ASSERT_NO_FATAL_FAILURE(WaitForNeighbours());
  ASSERT_NO_FATAL_FAILURE(ReplaceKeepingSizeAndTime(Path(L"d.bmp"), Rgb{0, 255, 255}));
  Step(ID_NEXT);
  ExpectShown(L"d.bmp", kCyan);
  Step(ID_PREVIOUS);
  ExpectShown(L"c.bmp", kWhite);

  // Stepping faster than pictures decode: seven keys, the last four waiting behind a decode or
  // superseding it, end three entries further on.
  for (WPARAM key : {VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_LEFT, VK_LEFT}) Key(key);
  WaitForPicture();
  ExpectShown(L"b.bmp", kGreen);
}

// A drop while a neighbour is being prepared shows the dropped picture, and nothing of the old
// folder comes back; a slideshow step onto a prepared picture needs no decode either.
TEST_F(ViewerPrefetch, DropAndSlideshowDuringPreparation) {
  SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);  // b.bmp, then its neighbours are asked for
  WaitForPicture();
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (other_.size() + 8) * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  const std::wstring dropped = other_ + L"\\x.bmp";
  std::memcpy(header + 1, dropped.c_str(), (dropped.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(memory);
  SendMessageW(Hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  WaitForPicture();
  ExpectShown(L"x.bmp", kCyan);
  Step(ID_NEXT);
  ExpectShown(L"x.bmp", kCyan);  // a folder of one entry shows it again

  OpenStartFile(true, Path(L"a.bmp"));
  Step(ID_NEXT);
  ASSERT_NO_FATAL_FAILURE(WaitForNeighbours());
  ExpectShown(L"b.bmp", kGreen);
  StartSlideshow(State().commands);
  const DWORD start = GetTickCount();
  while (currentIndex == 1 && GetTickCount() - start < 6000) Pump();
  ASSERT_EQ(currentIndex, 2) << "the slideshow never stepped";
  EXPECT_FALSE(PictureLoading(Browse())) << "the slideshow's step should use the prepared picture";
  EXPECT_EQ(CentreOfFrame(), kBlue);
  EXPECT_EQ(Caption(), L"Vistrel - Running Slide Show");
}

// Input while the shown picture decodes: a quick second tap supersedes the decode instead of
// waiting behind the first tap's release; what needs the picture waits for it and then acts in
// the viewer's own loop; what needs neither list nor picture acts at once.
TEST_F(ViewerPrefetch, QuickTapsSupersedeADecodeAndOnlyWhatNeedsThePictureWaits) {
  ForgetPreparedPictures(Browse());  // so that the next step has to decode
  const BYTE background = static_cast<BYTE>(viewState.backgroundLevel);
  EXPECT_FALSE(Filter(WM_KEYDOWN, VK_RIGHT));
  ASSERT_TRUE(PictureLoading(Browse())) << "b.bmp was not prepared, so it should be decoding";
  EXPECT_FALSE(Filter(WM_KEYUP, VK_RIGHT)) << "a key-up must never be held";
  EXPECT_FALSE(Filter(WM_LBUTTONUP, 0)) << "a release with no held press must never be held";
  EXPECT_FALSE(Filter(WM_KEYDOWN, VK_RIGHT)) << "a second tap supersedes the decode";
  EXPECT_FALSE(Filter(WM_KEYUP, VK_RIGHT));
  EXPECT_EQ(Caption(), L"Vistrel - c.bmp");
  EXPECT_FALSE(Filter(WM_KEYDOWN, 'C')) << "the background needs neither the list nor the picture";
  EXPECT_NE(viewState.backgroundLevel, background);
  EXPECT_TRUE(Filter(WM_KEYDOWN, VK_UP)) << "a zoom step waits for the picture it zooms";
  EXPECT_EQ(viewState.zoom, 1.0f);
  WaitForPicture();
  EXPECT_EQ(viewState.zoom, 1.0f) << "held input is replayed only by the viewer's own loop";
  viewer_.OnLoopTurn();
  EXPECT_GT(viewState.zoom, 1.0f) << "the held zoom step should act once the picture is there";
  EXPECT_EQ(Caption(), L"Vistrel - c.bmp");
}

}  // namespace
