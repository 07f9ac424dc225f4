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
  static bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  bool Exists(const wchar_t* name) const { return PathExists(scratch_ + L"\\" + name); }
  void ExpectCaption(const std::wstring& expected) {
    std::wstring seen;
    EXPECT_TRUE(viewer_.WaitForCaption(expected, kStateTimeoutMs, &seen))
        << "expected caption " << Narrow(expected) << ", got " << Narrow(seen);
  }
  // The text of a message box: its first static control with text (the icon's has none).
  static std::wstring BoxText(HWND box) {
    wchar_t text[512] = {};
    HWND label = FindWindowExW(box, nullptr, L"Static", nullptr);
    while (label != nullptr && GetWindowTextW(label, text, 512) == 0)
      label = FindWindowExW(box, label, L"Static", nullptr);
    return text;
  }
  // Presses Delete and answers the confirmation with the given button, leaving any box that
  // follows it open.
  void AnswerDeleteWith(int button) {
    viewer_.PostKey(VK_DELETE);
    HWND box = viewer_.WaitForOtherWindow(L"#32770", L"Please Confirm", kStateTimeoutMs);
    ASSERT_NE(box, nullptr) << "expected the confirmation \"Please Confirm\"";
    EXPECT_EQ(Narrow(BoxText(box)), "This will permanently delete current image. Are you sure?");
    ViewerProcess::PressButton(box, button);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(box); }, kStateTimeoutMs)) << "the question stays open";
  }
  // Presses Delete and answers the confirmation with the given button.
  void DeleteAnswering(int button) {
    ASSERT_NO_FATAL_FAILURE(AnswerDeleteWith(button));
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

// The system's own words for an error, without the line break that ends them.
std::wstring SystemReason(DWORD error) {
  wchar_t text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                text, 512, nullptr);
  while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' '))
    --length;
  return std::wstring(text, length);
}

// A read-only file survives the Yes: it must stay listed and shown, and the user is told why.
TEST_F(DeleteImage, ReadOnlyFileStaysListedAndShownAndTheErrorSaysWhy) {
  const std::wstring readOnly = scratch_ + L"\\b.bmp";
  ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));  // RemoveTree clears it

  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(readOnly)));
  ExpectCaption(L"Vistrel - b.bmp");
  ASSERT_NO_FATAL_FAILURE(AnswerDeleteWith(IDYES));
  HWND error = viewer_.WaitForOtherWindow(L"#32770", L"Vistrel", kStateTimeoutMs);
  ASSERT_NE(error, nullptr) << "expected an error box captioned \"Vistrel\" after Yes on a read-only file";
  const std::wstring expected = L"Could not delete b.bmp: " + SystemReason(ERROR_ACCESS_DENIED);
  EXPECT_EQ(Narrow(BoxText(error)), Narrow(expected));
  EXPECT_EQ(GetWindow(error, GW_OWNER), viewer_.Window()) << "the box must be owned by the viewer";
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(error, IDOK))) << "expected an OK button";
  for (int other : {IDCANCEL, IDYES, IDNO}) {
    HWND button = GetDlgItem(error, other);
    EXPECT_TRUE(button == nullptr || !IsWindowVisible(button)) << "expected OK alone, got button " << other;
  }
  EXPECT_TRUE(Exists(L"b.bmp")) << "the read-only file must still be on disk";
  ExpectCaption(L"Vistrel - b.bmp");

  ViewerProcess::PressButton(error, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !viewer_.HasOtherWindow(); }, kStateTimeoutMs))
      << "OK must close the box";
  ExpectCaption(L"Vistrel - b.bmp");
  // The entry is still between its neighbours.
  viewer_.PostKey(VK_RIGHT);
  ExpectCaption(L"Vistrel - c.bmp");
  viewer_.PostKey(VK_LEFT);
  ExpectCaption(L"Vistrel - b.bmp");
  EXPECT_TRUE(Exists(L"b.bmp"));
}

// Delete and Right pressed while the start folder is still listed wait for the list. The prompt
// then asks about the start file, and while it is open nothing held acts (the neighbours'
// preparations arrive meanwhile): Yes deletes exactly the start file, and only then does the
// held Right step on.
TEST_F(DeleteImage, HeldDeleteAndRightDeleteOnlyTheFileThePromptAskedAbout) {
  const std::wstring folder = scratch_ + L"\\many";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring red = folder + L"\\red.bmp";
  ASSERT_TRUE(WriteSolidBmp(red, 40, 30, Rgb{200, 40, 40}));
  auto path = [&](int i, const wchar_t* extension) {
    wchar_t name[32];
    swprintf(name, 32, L"\\img%04d%ls", i, extension);
    return folder + name;
  };
  for (int i = 1; i <= 2000; ++i) {
    if (i == 1000) continue;
    ASSERT_TRUE(CreateHardLinkW(path(i, L".bmp").c_str(), red.c_str(), nullptr)) << i;
  }
  ASSERT_TRUE(WriteSolidBmp(path(1000, L".bmp"), 3000, 2000, Rgb{40, 40, 200}));  // decodes for a while

  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(path(1000, L".bmp"))));
  viewer_.PostKey(VK_DELETE);
  viewer_.PostKey(VK_RIGHT);
  HWND box = viewer_.WaitForOtherWindow(L"#32770", L"Please Confirm", kStateTimeoutMs);
  ASSERT_NE(box, nullptr) << "expected the confirmation \"Please Confirm\"";
  Sleep(1500);  // the neighbours' preparations arrive under the open prompt
  EXPECT_EQ(Narrow(viewer_.Caption()), "Vistrel - img1000.bmp") << "nothing may step under the prompt";
  ViewerProcess::PressButton(box, IDYES);
  ExpectCaption(L"Vistrel - img1002.bmp");
  EXPECT_FALSE(PathExists(path(1000, L".bmp"))) << "Yes must delete the file the prompt asked about";
  EXPECT_TRUE(PathExists(path(1001, L".bmp")) && PathExists(path(1002, L".bmp")))
      << "its neighbours must stay";
  EXPECT_FALSE(viewer_.HasOtherWindow()) << "expected one prompt, not a second one";
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
