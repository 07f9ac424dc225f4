// Closing the viewer while its worker is inside a long decode: the settings are written as on
// any close and the process ends cleanly, whatever the worker is doing, every time.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/image_encoders.h"
#include "support/test_paths.h"
#include "support/viewer_driver.h"
#include "viewer_fixture.h"

namespace e2e {
namespace {

class ExitTest : public ViewerTest {};

TEST_F(ExitTest, ClosingDuringSlowDecodesWritesTheSettingsAndEndsCleanly) {
  // A large TIFF goes to the imaging library, whose decode cannot be stopped early; the PNG
  // beside it is the neighbour prepared next.
  const std::wstring tiff = scratch_ + L"\\a.tif";
  const std::wstring png = scratch_ + L"\\b.png";
  const auto noise = [](int32_t x, int32_t y) {
    const uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
    return 0xFF000000u | (h & 0x00FFFFFFu);
  };
  ASSERT_TRUE(SaveTestImage(tiff, 4000, 3000, L"image/tiff", noise));
  ASSERT_TRUE(SaveTestImage(png, 3000, 2000, L"image/png", noise));
  constexpr int kRounds = 20;
  int written = 0;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(RemoveSettingsFile());
    ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(round % 2 == 0 ? tiff : png)));
    Sleep(static_cast<DWORD>(20 * round));  // from at once to well inside the decodes
    viewer_.RequestClose();
    DWORD exitCode = 1;
    ASSERT_TRUE(viewer_.WaitForExit(kExitTimeoutMs, &exitCode))
        << "round " << round << ": expected the viewer to end within " << kExitTimeoutMs << " ms of WM_CLOSE";
    EXPECT_EQ(exitCode, 0u) << "round " << round << ": expected a clean exit, got " << viewer_.ExitCodeText();
    std::vector<uint8_t> bytes;
    if (ReadSettingsBytes(&bytes) && bytes.size() == 24) ++written;
  }
  EXPECT_EQ(written, kRounds) << "expected the 24-byte settings file written at every close";
}

}  // namespace
}  // namespace e2e
