// A long walk through a mixed folder with the real viewer: what it holds must not grow with
// the number of pictures it has shown.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/viewer_fixture.h"
#include "framework/gdiplus_handles.h"
#include "picture/win32/dib_image.h"  // EnsureImagingStarted
#include "support/image_encoders.h"

namespace e2e {
namespace {

// What the test process can read of another process under Wine, which has no GetGuiResources
// and reports no handle count (GetProcessHandleCount gives 0).
struct Holdings {
  SIZE_T privateBytes = 0;
  int windows = 0;  // top-level windows and all their descendants
  int threads = 0;
};

struct WindowCount {
  DWORD processId;
  int count;
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
  ++reinterpret_cast<WindowCount*>(param)->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
  auto* windows = reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != windows->processId) return TRUE;
  ++windows->count;
  EnumChildWindows(window, CountChild, param);
  return TRUE;
}

int CountThreads(DWORD processId) {
  KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == processId) ++count;
  }
  return count;
}

Holdings ReadHoldings(DWORD processId) {
  Holdings holdings;
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) return holdings;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  auto* counters = reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory);
  if (GetProcessMemoryInfo(process.Get(), counters, sizeof(memory))) {
    // Windows gives the commit charge in both fields. Wine leaves PrivateUsage 0 and reports
    // the process's anonymous resident and swapped memory as PagefileUsage.
    holdings.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  }
  WindowCount windows{processId, 0};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  holdings.windows = windows.count;
  holdings.threads = CountThreads(processId);
  return holdings;
}

// A 300 x 200 GIF of four-colour squares. Wine's GIF encoder writes only a header for a 32-bit
// picture, so it is given a paletted one.
bool SaveCheckeredGif(const std::wstring& path) {
  using namespace Gdiplus::DllExports;
  constexpr int32_t kWidth = 300, kHeight = 200;
  CLSID gif;
  if (!EnsureImagingStarted() || !FindImageEncoder(L"image/gif", gif)) return false;
  std::vector<BYTE> indices(static_cast<size_t>(kWidth) * kHeight);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x)
      indices[static_cast<size_t>(y) * kWidth + x] = static_cast<BYTE>((x / 20 + y / 20) % 4);
  GpBitmapOwner bitmap;  // borrows the indices, which outlive it
  if (GdipCreateBitmapFromScan0(kWidth, kHeight, kWidth, PixelFormat8bppIndexed, indices.data(),
                                bitmap.Out()) != Gdiplus::Ok) {
    return false;
  }
  std::vector<BYTE> paletteBytes(sizeof(Gdiplus::ColorPalette) + 3 * sizeof(Gdiplus::ARGB));
  auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(paletteBytes.data());
  palette->Count = 4;
  const Gdiplus::ARGB colours[] = {0xFFE02020, 0xFF2040E0, 0xFF20C040, 0xFFF0F020};
  for (UINT i = 0; i < 4; ++i) palette->Entries[i] = colours[i];
  return GdipSetImagePalette(bitmap.Get(), palette) == Gdiplus::Ok &&
         GdipSaveImageToFile(bitmap.Get(), path.c_str(), &gif, nullptr) == Gdiplus::Ok;
}

std::string ToString(const Holdings& h) {
  return std::to_string(h.privateBytes / 1024) + " KB private, " + std::to_string(h.windows) + " windows, " +
         std::to_string(h.threads) + " threads";
}

class Soak : public ViewerTest {
 protected:
  // Eight files, so that step 100 and step 500 stand on the same one, with the same
  // neighbours prepared ahead: four JPEGs, a PNG with alpha, a GIF, a BMP and a broken file.
  void SetUp() override {
    ViewerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    auto gradient = [](uint32_t tint) {
      return [tint](int32_t x, int32_t y) {
        return 0xFF000000u | tint | static_cast<uint32_t>((x + y) & 0xFF);
      };
    };
    struct Made {
      const wchar_t* name;
      int32_t width, height;
      const wchar_t* mime;
      std::function<uint32_t(int32_t, int32_t)> pixel;
    };
    const Made made[] = {
        {L"1 photo.jpg", 1200, 900, L"image/jpeg", gradient(0x00803000)},
        {L"2 photo.jpg", 700, 1000, L"image/jpeg", gradient(0x00208000)},
        {L"3 photo.jpg", 640, 480, L"image/jpeg", gradient(0x00600060)},
        {L"4 photo.jpg", 1500, 450, L"image/jpeg", gradient(0x00004080)},
        {L"5 alpha.png", 400, 400, L"image/png",
         [](int32_t x, int32_t y) {  // alpha from 0 at the left to 255 at the right
           return (static_cast<uint32_t>(x * 255 / 399) << 24) | static_cast<uint32_t>(y & 0xFF) << 8 | 0xC0u;
         }},
        {L"7 plain.bmp", 640, 480, L"image/bmp", gradient(0x00404040)},
    };
    for (const Made& m : made) {
      names_.push_back(m.name);
      ASSERT_TRUE(SaveTestImage(scratch_ + L"\\" + m.name, m.width, m.height, m.mime, m.pixel))
          << "could not make " << Narrow(m.name);
    }
    names_.push_back(L"6 palette.gif");
    ASSERT_TRUE(SaveCheckeredGif(scratch_ + L"\\6 palette.gif")) << "could not make the GIF";
    names_.push_back(L"8 broken.jpg");
    KernelHandle broken(CreateFileW((scratch_ + L"\\8 broken.jpg").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(broken);
    const char junk[] = "\xFF\xD8\xFF\xE0 this is no picture after its first marker";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(broken.Get(), junk, sizeof(junk), &written, nullptr));
    std::sort(names_.begin(), names_.end());  // the viewer's order: the names start "1 " to "8 "
  }

  // Right, then the caption of the file that step lands on; the wait paces the walk.
  void Step(int step) {
    viewer_.PostKey(VK_RIGHT);
    const std::wstring expected = L"Vistrel - " + names_[static_cast<size_t>(step) % names_.size()];
    std::wstring seen;
    ASSERT_TRUE(viewer_.WaitForCaption(expected, kStateTimeoutMs, &seen))
        << "step " << step << ": expected the caption \"" << Narrow(expected) << "\", got \"" << Narrow(seen)
        << "\"";
  }

  // Once the viewer has drawn the step's picture and the neighbours prepared ahead are in.
  Holdings SettledHoldings() {
    EXPECT_TRUE(viewer_.WaitForStillPicture(kStateTimeoutMs, 300)) << "the picture never settled";
    Sleep(500);
    return ReadHoldings(viewer_.ProcessId());
  }

  std::vector<std::wstring> names_;
};

TEST_F(Soak, FiveHundredStepsThroughAMixedFolderHoldNoMoreThanOneHundred) {
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(scratch_ + L"\\" + names_[0])));
  std::wstring seen;
  ASSERT_TRUE(viewer_.WaitForCaption(L"Vistrel - " + names_[0], kStartTimeoutMs, &seen)) << Narrow(seen);
  const ULONGLONG started = GetTickCount64();
  Holdings atHundred, atThreeHundred;
  for (int step = 1; step <= 500; ++step) {
    ASSERT_NO_FATAL_FAILURE(Step(step));
    if (step == 100) atHundred = SettledHoldings();
    if (step == 300) atThreeHundred = SettledHoldings();
  }
  const Holdings atFiveHundred = SettledHoldings();
  const ULONGLONG seconds = (GetTickCount64() - started) / 1000;
  std::printf("soak: 500 steps in %llu s; after step 100: %s; after step 300: %s; after step 500: %s\n", seconds,
              ToString(atHundred).c_str(), ToString(atThreeHundred).c_str(), ToString(atFiveHundred).c_str());

  ASSERT_GT(atHundred.privateBytes, 0u) << "the viewer's private memory could not be read";
  ASSERT_GT(atHundred.windows, 0) << "the viewer's windows could not be counted";
  ASSERT_GT(atHundred.threads, 0) << "the viewer's threads could not be counted";
  // Steps 100, 300 and 500 show the same file with the same neighbours prepared, so the same
  // pictures are held. A leak grows in both halves of the walk; the heap reaching a new high
  // mark once (under load a step can outrun the preparation and decode two pictures at a time)
  // grows in one half only, and was seen at 2 MB in one run. The allowance, an eighth of the
  // largest picture (1200 x 900 x 4 bytes), is heap slack; 3 KB lost a step exceed it in each
  // half (Wine's own leak of 24 KB on each failed decode of a GIF that ends after its image
  // descriptor exceeds it eight times over).
  const SIZE_T allowance = 1200 * 900 * 4 / 8;
  auto growth = [](const Holdings& from, const Holdings& to) {
    return to.privateBytes > from.privateBytes ? to.privateBytes - from.privateBytes : SIZE_T{0};
  };
  EXPECT_LE(std::min(growth(atHundred, atThreeHundred), growth(atThreeHundred, atFiveHundred)), allowance)
      << "expected the private memory flat in at least one half of the walk, got " << ToString(atHundred)
      << ", then " << ToString(atThreeHundred) << ", then " << ToString(atFiveHundred);
  EXPECT_EQ(atFiveHundred.windows, atHundred.windows) << "windows after step 100 and after step 500";
  EXPECT_EQ(atFiveHundred.threads, atHundred.threads) << "threads after step 100 and after step 500";
  EXPECT_EQ(Narrow(viewer_.Caption()), "Vistrel - " + Narrow(names_[500 % names_.size()]));
  CloseViewerAndWait();
}

}  // namespace
}  // namespace e2e
