// The run script's headless path: viewer_shot starts the viewer on the samples folder as
// scripts/run.sh does and saves the window after its first paint. The saved picture must be
// the whole window as it stays (maximised on a first run), without black bands, with the
// fitted picture between two equal light margins.
#include <cstdlib>

#include "e2e/viewer_fixture.h"

namespace e2e {
namespace {

constexpr DWORD kShotTimeoutMs = 60000;

// Rows (or, with columns set, columns) of the capture whose every pixel is black.
int CountBlackLines(const ScreenCapture& shot, bool columns) {
  const int lines = columns ? shot.width : shot.height;
  const int length = columns ? shot.height : shot.width;
  int black = 0;
  for (int i = 0; i < lines; ++i) {
    bool all = true;
    for (int j = 0; j < length && all; ++j) all = ToRgb(columns ? shot.At(i, j) : shot.At(j, i)) == kBlack;
    if (all) ++black;
  }
  return black;
}

class RunScriptShot : public ViewerTest {};

TEST_F(RunScriptShot, HoldsTheWholeSettledWindow) {
  const std::wstring output = scratch_ + L"\\shot.png";
  const std::wstring tool = BinaryDir() + L"\\viewer_shot.exe";
  // As the run script passes a folder: its Windows path with a trailing backslash.
  std::wstring commandLine = Quote(tool) + L" " + Quote(output) + L" \"" + SourceDir() + L"\\samples\\\\\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(tool.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info))
      << "could not start " << Narrow(commandLine) << ", error " << GetLastError();
  KernelHandle process(info.hProcess);
  KernelHandle thread(info.hThread);
  ASSERT_EQ(WaitForSingleObject(process.Get(), kShotTimeoutMs), WAIT_OBJECT_0)
      << "expected viewer_shot to end within " << kShotTimeoutMs << " ms";
  DWORD exitCode = 1;
  GetExitCodeProcess(process.Get(), &exitCode);
  EXPECT_EQ(exitCode, 0u) << "expected viewer_shot to succeed";

  const ScreenCapture shot = ReadPictureFile(output);
  ASSERT_FALSE(shot.Empty()) << "expected a PNG at " << Narrow(output);
  // A first run maximises: the visible window covers the work area and no more than the screen.
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_TRUE(shot.width >= work.right - work.left && shot.width <= screenWidth &&
              shot.height >= work.bottom - work.top && shot.height <= screenHeight)
      << "expected the maximised window's size, between the work area " << work.right - work.left << " x "
      << work.bottom - work.top << " and the screen " << screenWidth << " x " << screenHeight << ", got "
      << shot.width << " x " << shot.height;
  EXPECT_EQ(CountBlackLines(shot, false), 0) << "expected no black rows";
  EXPECT_EQ(CountBlackLines(shot, true), 0) << "expected no black columns";

  // 1.jpg (4:3) fitted into the wide client area: light margins left and right of it, equal
  // within a pixel, and the picture in the middle.
  const int middle = shot.height / 2;
  int left = 0;
  while (left < shot.width && ToRgb(shot.At(left, middle)) == kLightGrey) ++left;
  int right = 0;
  while (right < shot.width && ToRgb(shot.At(shot.width - 1 - right, middle)) == kLightGrey) ++right;
  EXPECT_GT(left, shot.width / 20) << "expected a light (250,250,250) margin left of the picture, got "
                                   << ToString(ToRgb(shot.At(0, middle))) << " at its edge";
  EXPECT_LE(std::abs(left - right), 1) << "expected equal margins, got " << left << " and " << right;
  EXPECT_NE(ToRgb(shot.At(shot.width / 2, middle)), kLightGrey) << "expected the picture in the middle";
}

}  // namespace
}  // namespace e2e
