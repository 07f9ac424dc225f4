// The shown picture keeps its own rules and copies while the list moves on, through the real
// viewer window: a redraw between a step and the next picture's arrival, a drop, a failed
// preparation, and a display change after a turn.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "framework/unique_handle.h"
#include "imagelist/win32/image_list.h"
#include "input/win32/view_commands.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "support/raw_pictures.h"
#include "support/test_paths.h"
#include "viewer_window_fixture.h"

namespace {

constexpr uint32_t kRed = 0x00FF0000;
constexpr uint32_t kGreen = 0x0000FF00;
constexpr uint32_t kBlue = 0x000000FF;

class ShownPicture : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"shown-picture");
    other_ = MakeScratchDir(L"shown-picture-other");
    // A 32-bit BMP whose alpha bytes are all zero: drawn opaque (BMPs take no alpha), it turns
    // black if another file's alpha rule premultiplies it.
    RawBmp bmp;
    bmp.width = 64;
    bmp.height = 40;
    bmp.bitsPerPixel = 32;
    ASSERT_TRUE(WriteFileBytes(Path(L"a.bmp"), MakeRawBmp(bmp, [](int32_t, int32_t) { return 0x00FF0000u; })));
    // A transparent PNG (alpha path) and a solid BMP after it.
    RawPng png;
    png.width = 64;
    png.height = 40;
    png.colourType = 6;
    ASSERT_TRUE(WriteFileBytes(Path(L"b.png"), MakeRawPng(png, [](int32_t x, int32_t, int c) {
      return x < 32 ? (c == 1 || c == 3 ? 255u : 0u) : 0u;  // left half opaque green, right half clear
    })));
    ASSERT_TRUE(WriteSolidBmp(Path(L"c.bmp"), 64, 40, Rgb{0, 0, 255}));
    ASSERT_TRUE(WriteSolidBmp(other_ + L"\\x.bmp", 64, 40, Rgb{0, 255, 0}));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
    OpenStartFile(true, Path(L"a.bmp"));
    viewState.backgroundLevel = kLightBackground;
    viewState.zoom = 1.0f;
    ShowCurrentPicture(Browse(), StepDirection::kNone);
    WaitForPicture();
  }
  void TearDown() override {
    RemoveTree(folder_);
    RemoveTree(other_);
  }

  std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }
  // Hands a key to the filter as the modal loop does, then delivers it; no reply of the worker
  // is taken meanwhile, so what follows a step runs before the next picture can arrive.
  void Key(WPARAM key) {
    MSG msg{Hwnd(), WM_KEYDOWN, key, 0, 0, {}};
    if (!viewer_.FilterQueuedMessage(&msg)) DispatchMessageW(&msg);
  }
  // Nothing of the neighbours prepared: the next step has to decode.
  void Unprepare() {
    ForgetPreparedPictures(Browse());
    ASSERT_TRUE(Browse().loader.prepared.empty());
  }
  void ExpectCentre(uint32_t colour, const char* when) {
    EXPECT_EQ(CentreOfFrame(), colour) << when << ": expected " << Hex(colour) << " at the frame's centre, got "
                                       << Hex(CentreOfFrame());
  }

  std::wstring folder_;
  std::wstring other_;
};

// Faults of a shown picture outliving the list's move: redraws by another file's rules, copies
// dropped under it, and a failure kept as if it were a picture.
TEST_F(ShownPicture, KeepsItsRulesAndCopiesUntilAnotherTakesItsPlace) {
  ExpectCentre(kRed, "the 32-bit BMP shown");

  // Right onto the PNG, which must decode; C, C before it arrives redraw the BMP by the BMP's
  // rules (opaque), not the PNG's (premultiplied by its zero alpha: black).
  ASSERT_NO_FATAL_FAILURE(Unprepare());
  Key(VK_RIGHT);
  ASSERT_TRUE(PictureLoading(Browse())) << "expected b.png still on its way";
  EXPECT_EQ(Caption(), L"Vistrel - b.png");
  Key('C');
  ExpectCentre(kRed, "dark background while b.png decodes");
  Key('C');
  ExpectCentre(kRed, "light background while b.png decodes");
  EXPECT_FALSE(View().shown.rules.premultiplied) << "expected the BMP's pixels left as decoded";
  WaitForPicture();
  uint32_t left = FramePixel(450 - 100, 330);
  EXPECT_EQ(left, kGreen) << "expected the PNG's opaque half, got " << Hex(left);
  // Back on the BMP (kept prepared, never premultiplied): still red, and again after a redraw.
  Key(VK_LEFT);
  WaitForPicture();
  ExpectCentre(kRed, "back on the BMP");
  EXPECT_FALSE(View().shown.rules.premultiplied);
  Key('F');
  Key('F');
  ExpectCentre(kRed, "the BMP after full screen and back");

  // The other way: from the transparent PNG to a BMP that must decode; its clear half stays the
  // background on C, C (not black, not bare).
  Key(VK_RIGHT);
  WaitForPicture();
  ASSERT_NO_FATAL_FAILURE(Unprepare());
  Key(VK_RIGHT);
  ASSERT_TRUE(PictureLoading(Browse()));
  Key('C');
  Key('C');
  int32_t width = 0, height = 0;
  FrameSize(width, height);
  const uint32_t clear = FramePixel(width / 2 + width / 4, height / 2);
  EXPECT_EQ(clear, 0x00FAFAFAu) << "expected the PNG's clear half on the light background, got " << Hex(clear);
  WaitForPicture();
  ExpectCentre(kBlue, "c.bmp arrived");

  // Delete (Yes) forgets every prepared picture but not the one shown: C, C before the next
  // picture arrives still show c.bmp, not a bare area.
  std::thread answer([] {
    HWND box = nullptr;
    for (int i = 0; i < 500 && box == nullptr; ++i, Sleep(10)) box = FindWindowW(L"#32770", L"Please Confirm");
    if (box != nullptr) ViewerProcess::PressButton(box, IDYES);
  });
  Key(VK_DELETE);
  answer.join();
  EXPECT_EQ(GetFileAttributesW(Path(L"c.bmp").c_str()), INVALID_FILE_ATTRIBUTES) << "expected c.bmp deleted";
  Key('C');
  Key('C');
  ExpectCentre(kBlue, "C, C right after the delete");
  WaitForPicture();
  ExpectCentre(kRed, "a.bmp, after the deleted file, arrived");

  // A drop from another folder likewise: C, C before the dropped picture arrives still show
  // a.bmp.
  HGLOBAL drop = MakeDrop({other_ + L"\\x.bmp"});
  SendMessageW(Hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  Key('C');
  Key('C');
  ExpectCentre(kRed, "C, C right after the drop");
  WaitForPicture();
  ExpectCentre(kGreen, "the dropped picture arrived");
  EXPECT_EQ(Caption(), L"Vistrel - x.bmp");
}

TEST_F(ShownPicture, AFailedPreparationIsDecodedAgainWhenSteppedOnto) {
  // b.png is held with no sharing while its neighbour preparation runs: the preparation fails.
  ASSERT_NO_FATAL_FAILURE(Unprepare());
  {
    KernelHandle held(CreateFileW(Path(L"b.png").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held) << "could not hold b.png";
    SchedulePrefetch(Browse());
    const DWORD start = GetTickCount();
    while (PreparingAhead(Browse()) && GetTickCount() - start < 10000) Pump();
    ASSERT_FALSE(PreparingAhead(Browse()));
    for (const auto& prepared : Browse().loader.prepared) {
      EXPECT_NE(prepared->path, Path(L"b.png")) << "a failed preparation must not be kept";
    }
    // Nor asked for again and again while the file stays unreadable.
    Pump();
    EXPECT_FALSE(PreparingAhead(Browse())) << "expected no new preparation of the unreadable neighbour";
  }
  // Let go: stepping onto it shows it, not the previous picture under its title.
  Key(VK_RIGHT);
  WaitForPicture();
  EXPECT_EQ(Caption(), L"Vistrel - b.png");
  EXPECT_EQ(viewState.loadFailed, 0);
  const uint32_t left = FramePixel(450 - 100, 330);
  EXPECT_EQ(left, kGreen) << "expected b.png's opaque half, got " << Hex(left);
}

TEST_F(ShownPicture, ADisplayChangeKeepsTheTurnAndTheAreaDrawn) {
  Key('R');
  ASSERT_EQ(currentImage.Width(), 40) << "expected the BMP turned upright to 40 x 64";
  EXPECT_EQ(View().shown.rules.userTurns, kTurnClockwise);
  // The shown picture was prepared for another monitor's colours: a display change decodes it
  // again for this one.
  Browse().loader.shownTarget = DisplayTarget{L"another monitor's profile"};
  const uint64_t before = currentImage.Revision();
  SendMessageW(Hwnd(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1600, 1000));
  Key('C');
  Key('C');
  ExpectCentre(kRed, "C, C right after the display change");
  const DWORD start = GetTickCount();
  while (currentImage.Revision() == before && GetTickCount() - start < 10000) Pump();
  ASSERT_NE(currentImage.Revision(), before) << "expected the picture decoded again";
  EXPECT_EQ(currentImage.Width(), 40) << "expected the quarter turn kept";
  EXPECT_EQ(currentImage.Height(), 64);
  EXPECT_EQ(View().shown.rules.userTurns, kTurnClockwise);
  ExpectCentre(kRed, "the picture again in this display's colours");
  int32_t width = 0, height = 0;
  FrameSize(width, height);
  EXPECT_EQ(FramePixel(2, height / 2), 0x00FAFAFAu) << "expected the side bands of the tall, turned picture";

  // A picture large enough to be turned on the worker, turned twice (the second added to the
  // first on its way): a display change meanwhile gives the picture turned by a half turn, each
  // turn counted once.
  RawBmp big;
  big.width = 1300;
  big.height = 900;
  ASSERT_TRUE(WriteFileBytes(other_ + L"\\big.bmp", MakeRawBmp(big, [](int32_t x, int32_t) {
    return x < 100 ? 0x00FF0000u : 0x000000FFu;  // a red band on the left, blue elsewhere
  })));
  OpenStartFile(true, other_ + L"\\big.bmp");
  ShowCurrentPicture(Browse(), StepDirection::kNone);
  WaitForPicture();
  ASSERT_EQ(currentImage.Width(), 1300);
  Key('R');
  ASSERT_TRUE(View().turn.active) << "expected the turn on the worker";
  Key('R');
  Browse().loader.shownTarget = DisplayTarget{L"another monitor's profile"};
  SendMessageW(Hwnd(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1600, 1000));
  ExpectCentre(kBlue, "the turned stand-in right after the display change");
  const DWORD again = GetTickCount();
  while ((View().turn.active || Browse().loader.inFlight.size() > 0) && GetTickCount() - again < 20000) Pump();
  ASSERT_EQ(currentImage.Width(), 1300) << "expected the large picture turned by a half turn";
  ASSERT_EQ(currentImage.Height(), 900);
  ASSERT_EQ(currentImage.BitsPerPixel(), 24);
  const uint8_t* top = currentImage.TopRow();
  EXPECT_EQ(top[2], 0) << "expected the red band moved to the right by the half turn";
  EXPECT_EQ(top[1299 * 3 + 2], 255) << "expected the red band at the right";
  EXPECT_EQ(View().shown.rules.userTurns, kTurnHalf);
}

}  // namespace
