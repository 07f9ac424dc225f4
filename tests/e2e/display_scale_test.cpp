// The real viewer at 96, 120, 144 and 192 dpi, each started after the prefix's LogPixels was set:
// the window cannot be made smaller than 768 x 536 in 96-dpi units at that scale, the picture
// control covers the client area, and a fitted 24 MP picture on the screen is exactly its area
// average at the device size (Wine stretches no window: what the viewer draws is what is seen).
// The about box, made from its dialog template, grows with the DPI.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "e2e/viewer_fixture.h"
#include "resource.h"
#include "support/area_average_whole.h"
#include "view/fit_layout.h"

namespace e2e {
namespace {

constexpr int kPictureWidth = 6000;
constexpr int kPictureHeight = 4000;
constexpr int kPictureControlId = 1000;

// A value of the registry set for the length of a scope and put back as it was after.
class RegistryDword {
 public:
  RegistryDword(HKEY root, const wchar_t* subKey, const wchar_t* name) : name_(name) {
    if (RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr) !=
        ERROR_SUCCESS)
      key_ = nullptr;
    if (key_ == nullptr) return;
    DWORD size = sizeof saved_;
    DWORD type = 0;
    had_ = RegQueryValueExW(key_, name_, nullptr, &type, reinterpret_cast<BYTE*>(&saved_), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
  }
  ~RegistryDword() {
    if (key_ == nullptr) return;
    if (had_) {
      RegSetValueExW(key_, name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&saved_), sizeof saved_);
    } else {
      RegDeleteValueW(key_, name_);
    }
    RegCloseKey(key_);
  }
  RegistryDword(const RegistryDword&) = delete;
  RegistryDword& operator=(const RegistryDword&) = delete;

  bool Set(DWORD value) {
    return key_ != nullptr &&
           RegSetValueExW(key_, name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
               ERROR_SUCCESS;
  }

 private:
  const wchar_t* name_;
  HKEY key_ = nullptr;
  DWORD saved_ = 0;
  bool had_ = false;
};

// The test reads the viewer's windows and the screen in device pixels: as a per-monitor aware
// process, the system maps none of its coordinates.
void BecomeDpiAware() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  const auto setContext = reinterpret_cast<SetContextFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, else _PER_MONITOR_AWARE.
  if (setContext != nullptr &&
      (setContext(reinterpret_cast<HANDLE>(-4)) || setContext(reinterpret_cast<HANDLE>(-3))))
    return;
  SetProcessDPIAware();
}

// A 24-bit bottom-up BMP: a gradient under a fine checkerboard, which a stretch aliases and only
// the exact area average reproduces. Its rows stay in memory as the reference.
struct BigPicture {
  std::vector<uint8_t> rows;  // bottom row first, as in the file
  int pitch = kPictureWidth * 3;

  BigPicture() : rows(static_cast<size_t>(kPictureWidth) * 3 * kPictureHeight) {
    for (int y = 0; y < kPictureHeight; ++y) {
      uint8_t* row = &rows[static_cast<size_t>(kPictureHeight - 1 - y) * pitch];
      for (int x = 0; x < kPictureWidth; ++x) {
        const int fine = ((x / 2 + y / 2) % 2) * 100;
        row[x * 3 + 0] = static_cast<uint8_t>(40 + fine);
        row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / kPictureHeight);
        row[x * 3 + 2] = static_cast<uint8_t>(x * 255 / kPictureWidth);
      }
    }
  }
  SourcePixels Source() const {
    return SourcePixels{&rows[static_cast<size_t>(kPictureHeight - 1) * pitch], -pitch, kPictureWidth,
                        kPictureHeight, 24, nullptr};
  }
  bool Write(const std::wstring& path) const {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = kPictureWidth;
    info.biHeight = kPictureHeight;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + rows.size());
    KernelHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!out) return false;
    DWORD written = 0;
    return WriteFile(out.Get(), &file, sizeof file, &written, nullptr) && written == sizeof file &&
           WriteFile(out.Get(), &info, sizeof info, &written, nullptr) && written == sizeof info &&
           WriteFile(out.Get(), rows.data(), static_cast<DWORD>(rows.size()), &written, nullptr) &&
           written == rows.size();
  }
};

struct Scale {
  DWORD dpi;
  int minimumWidth;
  int minimumHeight;
};
constexpr Scale kScales[] = {{96, 768, 536}, {120, 960, 670}, {144, 1152, 804}, {192, 1536, 1072}};

class DisplayScale : public ViewerTest {
 protected:
  // How far the fitted picture on the screen is from the exact area average at the picture
  // area's size: the largest channel difference and the number of pixels off by more than one.
  struct Difference {
    int largest = 0;
    size_t offByMore = 0;
    size_t compared = 0;
  };
  Difference CompareWithExactAverage(const BigPicture& picture, const ScreenCapture& shot, int areaWidth,
                                     int areaHeight, XywhRect* fittedOut) {
    const XywhRect fitted = FitImage(kPictureWidth, kPictureHeight, areaWidth, areaHeight);
    *fittedOut = fitted;
    if (fitted.width != expectedFor_.width || fitted.height != expectedFor_.height) {
      expected_.assign(static_cast<size_t>(fitted.width) * fitted.height * 4, 0);
      AverageArea(picture.Source(), TargetPixels{expected_.data(), fitted.width * 4, fitted.width, fitted.height},
                  AverageMode::kOpaque);
      expectedFor_ = fitted;
    }
    Difference d;
    for (int y = 0; y < fitted.height; ++y) {
      for (int x = 0; x < fitted.width; ++x) {
        const int sx = fitted.x + x, sy = fitted.y + y;
        if (sx >= shot.width || sy >= shot.height) continue;  // off the screen
        ++d.compared;
        const uint32_t got = shot.At(sx, sy);
        const uint8_t* want = &expected_[(static_cast<size_t>(y) * fitted.width + x) * 4];
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(static_cast<int>((got >> (8 * c)) & 0xFF) - want[c]));
        d.largest = std::max(d.largest, worst);
        if (worst > 1) ++d.offByMore;
      }
    }
    return d;
  }

  // The client area as far as it lies on the screen (a capture reaching beyond it reads
  // nothing), with its top left corner at the client area's.
  ScreenCapture CaptureVisibleClient() {
    RECT client = viewer_.ClientScreenEdges();
    client.right = std::min<LONG>(client.right, GetSystemMetrics(SM_CXSCREEN));
    client.bottom = std::min<LONG>(client.bottom, GetSystemMetrics(SM_CYSCREEN));
    return CaptureScreen(client);
  }

  std::vector<uint8_t> expected_;
  XywhRect expectedFor_{};
};

TEST_F(DisplayScale, AtEveryDpiTheMinimumSizeTheControlAndTheExactFittedPictureHold) {
  BecomeDpiAware();
  const BigPicture picture;
  const std::wstring path = scratch_ + L"\\big.bmp";
  ASSERT_TRUE(picture.Write(path)) << "could not write " << Narrow(path);
  // Wine takes the DPI from the user's desktop settings, or else from the current hardware
  // profile's fonts, when a process starts.
  RegistryDword desktop(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
  RegistryDword fonts(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts",
                      L"LogPixels");

  int aboutWidthAt96 = 0;
  for (const Scale& scale : kScales) {
    SCOPED_TRACE(testing::Message() << scale.dpi << " dpi");
    ASSERT_TRUE(desktop.Set(scale.dpi) && fonts.Set(scale.dpi)) << "could not set LogPixels";
    ASSERT_TRUE(WriteSettingsValues(SettingsValues{100, 20, 1000, 720, 0, 250}));
    ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(path)));
    std::wstring caption;
    EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - big.bmp", kStateTimeoutMs, &caption))
        << "expected the caption \"Vistrel - big.bmp\", got \"" << Narrow(caption) << "\"";

    // Asked for less, the window keeps its minimum size at this scale.
    SetWindowPos(viewer_.Window(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r{};
    EXPECT_TRUE(WaitUntil([&] {
      r = viewer_.WindowEdges();
      return r.right - r.left == scale.minimumWidth && r.bottom - r.top == scale.minimumHeight;
    }, kStateTimeoutMs)) << "expected " << scale.minimumWidth << " x " << scale.minimumHeight
                         << " after asking for 300 x 200, got " << (r.right - r.left) << " x " << (r.bottom - r.top);

    // The picture control over the whole client area (a pixel beyond at most, through 96-dpi units).
    const RECT client = viewer_.ClientScreenEdges();
    RECT control{};
    HWND controlWindow = GetDlgItem(viewer_.Window(), kPictureControlId);
    ASSERT_NE(controlWindow, nullptr) << "expected the picture control";
    RECT c{};
    EXPECT_TRUE(WaitUntil([&] {
      GetWindowRect(controlWindow, &control);
      c = RECT{control.left - client.left, control.top - client.top, control.right - client.left,
               control.bottom - client.top};
      const int w = client.right - client.left, h = client.bottom - client.top;
      return c.left == 0 && c.top == 0 && c.right >= w && c.bottom >= h && c.right - w <= 1 && c.bottom - h <= 1;
    }, kStateTimeoutMs)) << "expected the control over the client area 0,0-" << client.right - client.left << ","
                         << client.bottom - client.top << ", got " << c.left << "," << c.top << "-" << c.right << ","
                         << c.bottom;

    // The picture on the screen is the exact area average at the picture area's device size. At
    // 192 dpi the smallest window is taller than the screen: it is moved to the top left, and the
    // part of the client area on the screen is compared.
    SetWindowPos(viewer_.Window(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    WaitUntil([&] { return viewer_.WindowEdges().left == 0 && viewer_.WindowEdges().top == 0; }, kStateTimeoutMs);
    Difference d;
    XywhRect fitted{};
    EXPECT_TRUE(WaitUntil([&] {
      d = CompareWithExactAverage(picture, CaptureVisibleClient(), c.right, c.bottom, &fitted);
      return d.largest <= 1 && d.compared * 4 >= static_cast<size_t>(fitted.width) * fitted.height * 3;
    }, kStateTimeoutMs, 100)) << "expected the fitted " << fitted.width << " x " << fitted.height
                              << " picture within 1 level of the exact area average (at least 3/4 of it on the "
                                 "screen), got "
                              << d.offByMore << " of " << d.compared << " pixels compared off by more (largest difference "
                              << d.largest << ")";

    // The about box's template is laid out in dialog units of its font, made at this DPI.
    viewer_.PostSysCommand(IDM_ABOUT);
    HWND about = viewer_.WaitForOtherWindow(L"#32770", L" About Vistrel", kStateTimeoutMs);
    ASSERT_NE(about, nullptr) << "expected the about box";
    RECT aboutClient{};
    GetClientRect(about, &aboutClient);
    if (scale.dpi == 96) aboutWidthAt96 = aboutClient.right;
    const double expectedWidth = aboutWidthAt96 * static_cast<double>(scale.dpi) / 96.0;
    EXPECT_TRUE(aboutWidthAt96 > 0 && std::abs(aboutClient.right - expectedWidth) <= 0.1 * expectedWidth)
        << "expected an about box about " << expectedWidth << " wide (" << aboutWidthAt96 << " at 96 dpi), got "
        << aboutClient.right;
    ViewerProcess::PressButton(about, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kStateTimeoutMs)) << "expected the about box to close";
    ASSERT_NO_FATAL_FAILURE(CloseViewerAndWait());
  }
}

}  // namespace
}  // namespace e2e
