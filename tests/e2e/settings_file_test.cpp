// The settings file as a user meets it: written at close, applied at the next start, left
// alone when the window is closed minimised.
#include <string>
#include <vector>

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

// Edges far beyond every screen (a monitor since unplugged, or garbage) would put the window
// where it is never seen nor painted. They count as no file: the window comes up maximised,
// paints, keeps the file's valid background, and the garbage is not written back.
TEST_F(SettingsFile, RectangleOffEveryScreenStartsMaximisedAndIsNotWrittenBack) {
  const std::wstring picture = scratch_ + L"\\shown.bmp";
  ASSERT_TRUE(WriteSolidBmp(picture, 40, 30, Rgb{200, 40, 40}));
  ASSERT_TRUE(WriteSettingsValues({100000, 100000, 100800, 100600, 0, 0}));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(picture)));
  ExpectMaximizedSoon();
  EXPECT_TRUE(IsWindowVisible(viewer_.Window()));
  RECT screen = {};
  GetWindowRect(GetDesktopWindow(), &screen);
  const RECT window = viewer_.WindowEdges();
  RECT common = {};
  const bool overScreen = IntersectRect(&common, &window, &screen) != FALSE &&
                          common.right - common.left > (screen.right - screen.left) / 2;
  EXPECT_TRUE(overScreen) << "expected the window over the screen, got " << WindowRectText(viewer_.Window());
  std::wstring seen;
  EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - shown.bmp", kStateTimeoutMs, &seen))
      << "expected the first paint to name the start file, got the caption \"" << Narrow(seen) << "\"";
  // The 4:3 picture fitted into the wider window leaves bands at the sides, in the file's dark background.
  const RECT client = viewer_.ClientScreenEdges();
  Rgb band;
  const int middle = (client.bottom - client.top) / 2;
  EXPECT_TRUE(viewer_.WaitForClientPixel(2, middle, kBlack, 0, kStateTimeoutMs, &band))
      << "expected the dark background of the file beside the picture, got " << ToString(band);
  CloseViewerAndWait();
  EXPECT_EQ(ToString(ReadValues()), ToString(SettingsValues{200, 200, 768, 536, 1, 0}));
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A write killed half-way leaves its temporary behind; the next start removes it, but never
// the temporary of a viewer still running (this test process stands in for one). A settings
// file the user made read-only is read as usual but not written at close.
TEST_F(SettingsFile, StaleTemporaryGoesAtStartAndAReadOnlyFileIsLeftAsItIs) {
  // A process that has ended; its handle stays open, so its id cannot go to another one.
  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  ViewerProcess ended;
  std::string error;
  ASSERT_TRUE(ended.Start(self, L"--gtest_list_tests --gtest_filter=NoSuchTest", &error)) << error;
  ASSERT_TRUE(ended.WaitForExit(kExitTimeoutMs, nullptr)) << "the short-lived process did not end";

  const std::wstring settings = SettingsFilePathForTests();
  const std::wstring stale = settings + L"." + std::to_wstring(ended.ProcessId()) + L".tmp";
  const std::wstring running = settings + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const std::wstring unrelated = settings + L".backup.tmp";
  struct CleanUp {  // whatever happens below, the next scenario finds a writable folder
    const std::wstring& settings;
    std::vector<std::wstring> temporaries;
    ~CleanUp() {
      SetFileAttributesW(settings.c_str(), FILE_ATTRIBUTE_NORMAL);
      for (const std::wstring& path : temporaries) DeleteFileW(path.c_str());
    }
  } cleanUp{settings, {stale, running, unrelated}};
  for (const std::wstring& path : cleanUp.temporaries) {
    KernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << "could not create " << Narrow(path);
  }
  ASSERT_TRUE(WriteSettingsValues({120, 90, 920, 710, 0, 0}));
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadSettingsBytes(&before));
  ASSERT_TRUE(SetFileAttributesW(settings.c_str(), FILE_ATTRIBUTE_READONLY));

  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerCopyWithoutImages(), L""));
  ExpectWindowAt(RECT{120, 90, 920, 710});
  WaitForBareBackground(kBlack);
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(stale); }, kStateTimeoutMs))
      << "expected the temporary of the ended process " << ended.ProcessId() << " to be removed at start";
  EXPECT_TRUE(FileExists(running)) << "the temporary of a running process must stay";
  EXPECT_TRUE(FileExists(unrelated)) << "a file not named after a process must stay";

  // What the close would write now differs from the file: the background and the place.
  viewer_.PostKey('C');
  WaitForBareBackground(kLightGrey);
  SetWindowPos(viewer_.Window(), nullptr, 140, 100, 900, 650, SWP_NOZORDER | SWP_NOACTIVATE);
  ExpectWindowAt(RECT{140, 100, 1040, 750});
  CloseViewerAndWait();
  std::vector<uint8_t> after;
  EXPECT_TRUE(ReadSettingsBytes(&after));
  SettingsValues values{};
  EXPECT_TRUE(DecodeSettings(after, &values)) << "expected 24 bytes, got " << after.size();
  EXPECT_EQ(ToString(values), "120, 90, 920, 710, 0, 0") << "the read-only file must be left byte for byte";
  EXPECT_TRUE(after == before) << "the read-only file must be left byte for byte";
  const DWORD attributes = GetFileAttributesW(settings.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
      << "expected the settings file still read-only, got attributes " << std::hex << attributes;
  EXPECT_FALSE(FileExists(settings + L"." + std::to_wstring(viewer_.ProcessId()) + L".tmp"))
      << "the refused write must leave no temporary";
}

}  // namespace
}  // namespace e2e
