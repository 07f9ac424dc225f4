#include "view_fixture.h"

#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>

#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "support/image_encoders.h"
#include "support/render_calls.h"
#include "support/test_paths.h"
#include "view/view_state.h"
#include "view/win32/kept_frame.h"
#include "view/win32/render.h"

using namespace Gdiplus::DllExports;

bool RgbNear(Rgb a, Rgb b, int tolerance) {
  for (int shift = 0; shift <= 16; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > tolerance) return false;
  }
  return true;
}

std::string RgbText(Rgb c) {
  char text[32];
  std::snprintf(text, sizeof(text), "(%u, %u, %u)", (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
  return text;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  return WriteFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

Rgb ImagePixel(int32_t x, int32_t y) {
  const uint8_t* row = currentImage.TopRow() + static_cast<ptrdiff_t>(y) * currentImage.Pitch();
  switch (currentImage.BitsPerPixel()) {
    case 32: case 24: {
      const uint8_t* p = row + x * (currentImage.BitsPerPixel() / 8);
      return MakeRgb(p[2], p[1], p[0]);
    }
    case 1: case 4: case 8: {
      const int32_t bits = currentImage.BitsPerPixel();
      const int32_t bit = x * bits;
      const int index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
      RGBQUAD table[256] = {};
      HDC dc = CreateCompatibleDC(nullptr);
      HGDIOBJ old = SelectObject(dc, currentImage.Handle());
      GetDIBColorTable(dc, 0, 256, table);
      SelectObject(dc, old);
      DeleteDC(dc);
      const RGBQUAD& q = table[index];
      return MakeRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    default:
      ADD_FAILURE() << "unexpected depth " << currentImage.BitsPerPixel();
      return 0;
  }
}

uint8_t ImageAlpha(int32_t x, int32_t y) {
  return currentImage.TopRow()[static_cast<ptrdiff_t>(y) * currentImage.Pitch() + x * 4 + 3];
}

namespace {

const wchar_t kViewerClass[] = L"VistrelViewTestWindow";

void RegisterViewerClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kViewerClass;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  registered = RegisterClassW(&wc) != 0;
}

}  // namespace

void ViewWindowTest::SetUp() {
  RegisterViewerClass();
  viewer_ = CreateWindowExW(0, kViewerClass, L"view test", WS_POPUP, 0, 0, kWidth,
                            kHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(viewer_, nullptr) << "CreateWindowEx failed, error " << GetLastError();
  picture_ = CreateWindowExW(0, L"STATIC", L"", 0x5000030D, 0, 0, kWidth, kHeight, viewer_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PICTURE)),
                             GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(picture_, nullptr) << "picture control not created, error " << GetLastError();
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  scratch_ = MakeScratchDir(std::wstring(name.begin(), name.end()));
  ImageList.clear();
  currentIndex = 0;
  currentImage.Destroy();
  tasks_ = std::make_unique<TaskRunner>();
  tasks_->SetReplyWindow(viewer_);
  view_ = std::make_unique<PictureView>(*tasks_);
  view_->viewer = viewer_;
  SetInitialViewState(viewState);
  viewState.alphaPrepared = 0;
}

void ViewWindowTest::TearDown() {
  if (tasks_) tasks_->Shutdown(INFINITE);
  view_.reset();
  tasks_.reset();
  if (viewer_ != nullptr) DestroyWindow(viewer_);
  ImageList.clear();
  currentIndex = 0;
  currentImage.Destroy();
  RemoveTree(scratch_);
}

int32_t ViewWindowTest::ShowFile(const std::wstring& path) {
  ImageList = {path};
  currentIndex = 0;
  return Reload(View());
}

void ViewWindowTest::ReadFrame() {
  ASSERT_TRUE(ReadKeptFrame(view_->frame, frame_, frameWidth_, frameHeight_)) << "no kept frame";
}

Rgb ViewWindowTest::FramePixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= frameWidth_ || y >= frameHeight_) {
    ADD_FAILURE() << "pixel (" << x << ", " << y << ") outside the frame";
    return 0;
  }
  return frame_[static_cast<size_t>(y) * frameWidth_ + x];
}
