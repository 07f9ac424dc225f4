// Common ground of the end-to-end scenarios: each starts from no settings file and a fresh
// scratch folder, and ends with no viewer left running, whatever the outcome.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/test_paths.h"
#include "support/viewer_driver.h"

namespace e2e {

constexpr DWORD kStartTimeoutMs = 15000;
constexpr DWORD kStateTimeoutMs = 8000;
constexpr DWORD kExitTimeoutMs = 10000;
const Rgb kLightGrey{250, 250, 250};
const Rgb kBlack{0, 0, 0};

inline std::wstring CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  return std::wstring(name.begin(), name.end());
}

inline std::wstring Quote(const std::wstring& path) { return L"\"" + path + L"\""; }

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(GetFileAttributesW(ViewerExePath().c_str()), INVALID_FILE_ATTRIBUTES)
        << "vistrel.exe is not built beside the tests: " << Narrow(ViewerExePath());
    ASSERT_TRUE(RemoveSettingsFile()) << "could not remove " << Narrow(SettingsFilePathForTests());
    scratch_ = MakeScratchDir(CurrentTestName());
  }

  void TearDown() override {
    if (viewer_.Running()) viewer_.Terminate();
    if (!scratch_.empty()) RemoveTree(scratch_);
    RemoveSettingsFile();
  }

  // Starts the viewer and waits for its window; fails the test (fatally) when either fails.
  void StartViewer(const std::wstring& exePath, const std::wstring& arguments) {
    std::string error;
    ASSERT_TRUE(viewer_.Start(exePath, arguments, &error)) << error;
    ASSERT_TRUE(viewer_.WaitForWindow(kStartTimeoutMs, &error)) << error;
  }

  // A copy of the program in a folder of its own without images, so that a start without an
  // argument lists an empty folder.
  std::wstring ViewerCopyWithoutImages() {
    const std::wstring folder = scratch_ + L"\\program";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = CopyViewerInto(folder);
    EXPECT_FALSE(copy.empty()) << "could not copy vistrel.exe into " << Narrow(folder);
    return copy;
  }

  // The empty list paints the bare background at the first paint; waiting for it at the
  // middle of the client area tells that the first paint has happened.
  void WaitForBareBackground(const Rgb& background) {
    RECT client = viewer_.ClientScreenEdges();
    Rgb seen;
    EXPECT_TRUE(viewer_.WaitForClientPixel((client.right - client.left) / 2, (client.bottom - client.top) / 2,
                                           background, 0, kStateTimeoutMs, &seen))
        << "expected the background " << ToString(background) << " in the middle of the picture area, got "
        << ToString(seen);
  }

  void CloseViewerAndWait() {
    viewer_.RequestClose();
    DWORD exitCode = 0;
    ASSERT_TRUE(viewer_.WaitForExit(kExitTimeoutMs, &exitCode))
        << "expected the viewer to end within " << kExitTimeoutMs << " ms of WM_CLOSE; it still runs";
  }

  void ExpectMaximizedSoon() {
    EXPECT_TRUE(WaitUntil([&] { return viewer_.IsMaximized(); }, kStateTimeoutMs))
        << "expected a maximised window, got a normal one at " << WindowRectText(viewer_.Window());
  }

  ViewerProcess viewer_;
  std::wstring scratch_;
};

}  // namespace e2e
