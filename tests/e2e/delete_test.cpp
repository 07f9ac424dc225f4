// Deleting the shown file: the question, both answers, and what is shown afterwards.
#include <string>

#include "e2e/viewer_fixture.h"
#include "resource.h"

namespace e2e {
namespace {

class DeleteImage : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    for (const wchar_t* name : {L"a.bmp", L"b.bmp", L"c.bmp"})
      ASSERT_TRUE(WriteSolidBmp(scratch_ + L"\\" + name, 40, 30, Rgb{200, 40, 40}));
  }
  bool Exists(const wchar_t* name) const {
    return GetFileAttributesW((scratch_ + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  void ExpectCaption(const std::wstring& expected) {
    std::wstring seen;
    EXPECT_TRUE(viewer_.WaitForCaption(expected, kStateTimeoutMs, &seen))
        << "expected caption " << Narrow(expected) << ", got " << Narrow(seen);
  }
  // Presses Delete and answers the confirmation with the given button.
  void DeleteAnswering(int button) {
    viewer_.PostKey(VK_DELETE);
    HWND box = viewer_.WaitForOtherWindow(L"#32770", L"Please Confirm", kStateTimeoutMs);
    ASSERT_NE(box, nullptr) << "expected the confirmation \"Please Confirm\"";
    wchar_t text[128] = {};
    HWND label = FindWindowExW(box, nullptr, L"Static", nullptr);
    while (label != nullptr && GetWindowTextW(label, text, 128) == 0)
      label = FindWindowExW(box, label, L"Static", nullptr);
    EXPECT_STREQ(text, L"This will permanently delete current image. Are you sure?");
    ViewerProcess::PressButton(box, button);
    EXPECT_TRUE(WaitUntil([&] { return !viewer_.HasOtherWindow(); }, kStateTimeoutMs)) << "the question stays open";
  }
};

TEST_F(DeleteImage, NoKeepsTheFileYesDeletesItAndShowsTheNextOne) {
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(scratch_ + L"\\b.bmp")));
  ExpectCaption(L"Vistrel - b.bmp");
  ASSERT_NO_FATAL_FAILURE(DeleteAnswering(IDNO));
  EXPECT_TRUE(Exists(L"b.bmp")) << "No must leave the file on disk";
  ExpectCaption(L"Vistrel - b.bmp");

  ASSERT_NO_FATAL_FAILURE(DeleteAnswering(IDYES));
  EXPECT_TRUE(WaitUntil([&] { return !Exists(L"b.bmp"); }, kStateTimeoutMs)) << "Yes must delete b.bmp";
  ExpectCaption(L"Vistrel - c.bmp");
  EXPECT_TRUE(Exists(L"a.bmp"));
  EXPECT_TRUE(Exists(L"c.bmp"));

  // Deleting the last entry shows the first one.
  ASSERT_NO_FATAL_FAILURE(DeleteAnswering(IDYES));
  ExpectCaption(L"Vistrel - a.bmp");
  EXPECT_FALSE(Exists(L"c.bmp"));
}

TEST_F(DeleteImage, EmptyListAsksNothing) {
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerCopyWithoutImages(), L""));
  WaitForBareBackground(kLightGrey);
  viewer_.PostKey(VK_DELETE);
  viewer_.PostCommand(ID_DELETE);
  // The background key queued behind them shows that both were taken: a question box would
  // have held the window's input, and the background would have stayed light.
  viewer_.PostKey('C');
  WaitForBareBackground(kBlack);
  EXPECT_FALSE(viewer_.HasOtherWindow()) << "no question may be asked with nothing to delete";
}

}  // namespace
}  // namespace e2e
