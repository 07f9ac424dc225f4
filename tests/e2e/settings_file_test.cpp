// The settings file as a user meets it: written at close, applied at the next start, left
// alone when the window is closed minimised.
#include "e2e/viewer_fixture.h"

namespace e2e {
namespace {

class SettingsFile : public ViewerTest {
 protected:
  SettingsValues ReadValues() {
    std::vector<uint8_t> bytes;
    SettingsValues values{};
    EXPECT_TRUE(ReadSettingsBytes(&bytes)) << "expected a settings file at " << Narrow(SettingsFilePathForTests());
    EXPECT_TRUE(DecodeSettings(bytes, &values)) << "expected 24 bytes, got " << bytes.size();
    return values;
  }

  void ExpectWindowAt(const RECT& expected) {
    RECT seen = {};
    EXPECT_TRUE(WaitUntil([&] {
      seen = viewer_.WindowEdges();
      return EqualRect(&seen, &expected) != FALSE;
    }, kStateTimeoutMs)) << "expected the window at " << expected.left << ", " << expected.top << ", "
                         << expected.right << ", " << expected.bottom << ", got " << WindowRectText(viewer_.Window());
  }
};

TEST_F(SettingsFile, FirstRunClosedMaximisedWritesTheDefaultRectangle) {
  const std::wstring copy = ViewerCopyWithoutImages();
  ASSERT_FALSE(copy.empty());
  ASSERT_NO_FATAL_FAILURE(StartViewer(copy, L""));
  ExpectMaximizedSoon();
  WaitForBareBackground(kLightGrey);
  CloseViewerAndWait();
  EXPECT_EQ(ToString(ReadValues()), ToString(SettingsValues{200, 200, 768, 536, 1, 250}));
}

// The next start asks for (200, 200) at 568 x 336, which the minimum size enlarges.
TEST_F(SettingsFile, SecondStartAfterFirstRunRestoresToTheMinimumSize) {
  ASSERT_TRUE(WriteSettingsValues({200, 200, 768, 536, 1, 250}));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerCopyWithoutImages(), L""));
  ExpectMaximizedSoon();
  WaitForBareBackground(kLightGrey);
  viewer_.PostSysCommand(SC_RESTORE);
  ExpectWindowAt(RECT{200, 200, 200 + 768, 200 + 536});
  EXPECT_FALSE(viewer_.IsMaximized());
}

TEST_F(SettingsFile, NormalRectangleIsRestoredAndWrittenBackWithTheBackground) {
  ASSERT_TRUE(WriteSettingsValues({100, 80, 900, 700, 0, 0}));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerCopyWithoutImages(), L""));
  ExpectWindowAt(RECT{100, 80, 900, 700});
  EXPECT_FALSE(viewer_.IsMaximized());
  WaitForBareBackground(kBlack);
  CloseViewerAndWait();
  EXPECT_EQ(ToString(ReadValues()), ToString(SettingsValues{100, 80, 900, 700, 0, 0}));
}

// Closing maximised keeps the normal rectangle it had before, not the maximised one.
TEST_F(SettingsFile, MaximisedFlagMaximisesAndCloseKeepsTheNormalRectangle) {
  ASSERT_TRUE(WriteSettingsValues({150, 120, 950, 740, 1, 250}));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerCopyWithoutImages(), L""));
  ExpectMaximizedSoon();
  WaitForBareBackground(kLightGrey);
  CloseViewerAndWait();
  EXPECT_EQ(ToString(ReadValues()), ToString(SettingsValues{150, 120, 950, 740, 1, 250}));
}

TEST_F(SettingsFile, ClosingWhileMinimisedLeavesTheFileUntouched) {
  const SettingsValues before{120, 90, 920, 710, 0, 250};
  ASSERT_TRUE(WriteSettingsValues(before));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerCopyWithoutImages(), L""));
  ExpectWindowAt(RECT{120, 90, 920, 710});
  WaitForBareBackground(kLightGrey);
  viewer_.PostSysCommand(SC_MINIMIZE);
  ASSERT_TRUE(WaitUntil([&] { return viewer_.IsMinimized(); }, kStateTimeoutMs)) << "expected a minimised window";
  CloseViewerAndWait();
  EXPECT_EQ(ToString(ReadValues()), ToString(before));
}

// A file too short to hold the record counts as no file: the window starts maximised and
// closing replaces it with a whole record.
TEST_F(SettingsFile, ShortFileIsTreatedAsMissingAndReplacedWhole) {
  ASSERT_TRUE(WriteSettingsBytes({100, 0, 0, 0, 80, 0, 0, 0, 132, 3}));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerCopyWithoutImages(), L""));
  ExpectMaximizedSoon();
  WaitForBareBackground(kLightGrey);
  CloseViewerAndWait();
  EXPECT_EQ(ToString(ReadValues()), ToString(SettingsValues{200, 200, 768, 536, 1, 250}));
}

// A portable copy: with a vistrel.portable file beside the program its settings are read and
// written there and the machine-wide file is left alone; without the marker the same copy uses
// the machine-wide file again.
TEST_F(SettingsFile, PortableMarkerKeepsTheSettingsBesideTheProgram) {
  const std::wstring copy = ViewerCopyWithoutImages();
  ASSERT_FALSE(copy.empty());
  const std::wstring folder = copy.substr(0, copy.rfind(L'\\'));
  const std::wstring marker = folder + L"\\vistrel.portable";
  const std::wstring besideProgram = folder + L"\\vistrel.settings";
  ASSERT_TRUE(WriteSettingsBytes({}, marker)) << "could not create " << Narrow(marker);
  std::vector<uint8_t> bytes;
  SettingsValues values{};

  ASSERT_NO_FATAL_FAILURE(StartViewer(copy, L""));
  ExpectMaximizedSoon();
  WaitForBareBackground(kLightGrey);
  CloseViewerAndWait();
  EXPECT_TRUE(ReadSettingsBytes(&bytes, besideProgram) && DecodeSettings(bytes, &values))
      << "expected 24 bytes in " << Narrow(besideProgram) << ", got " << bytes.size();
  EXPECT_EQ(ToString(values), ToString(SettingsValues{200, 200, 768, 536, 1, 250}));
  EXPECT_FALSE(ReadSettingsBytes(&bytes)) << "expected no machine-wide settings file, got " << bytes.size()
                                          << " bytes in " << Narrow(SettingsFilePathForTests());

  // What the portable file says is what the next start applies.
  ASSERT_TRUE(WriteSettingsValues({100, 80, 900, 700, 0, 0}, besideProgram));
  ASSERT_NO_FATAL_FAILURE(StartViewer(copy, L""));
  ExpectWindowAt(RECT{100, 80, 900, 700});
  WaitForBareBackground(kBlack);
  CloseViewerAndWait();

  ASSERT_TRUE(DeleteFileW(marker.c_str()));
  ASSERT_NO_FATAL_FAILURE(StartViewer(copy, L""));
  ExpectMaximizedSoon();
  WaitForBareBackground(kLightGrey);
  CloseViewerAndWait();
  EXPECT_EQ(ToString(ReadValues()), ToString(SettingsValues{200, 200, 768, 536, 1, 250}));
  EXPECT_TRUE(ReadSettingsBytes(&bytes, besideProgram) && DecodeSettings(bytes, &values));
  EXPECT_EQ(ToString(values), ToString(SettingsValues{100, 80, 900, 700, 0, 0}))
      << "the portable file must not change once the marker is gone";
}

}  // namespace
}  // namespace e2e
