// A viewer-like window with a picture control to render into, and the pictures the view tests
// decode: made at run time with the imaging library's encoders, never committed.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/image_encoders.h"  // SaveTestImage
#include "framework/task_runner.h"
#include "view/win32/picture_view.h"

#include <memory>

// 0x00RRGGBB.
using Rgb = uint32_t;
constexpr Rgb MakeRgb(int r, int g, int b) {
  return (static_cast<Rgb>(r) << 16) | (static_cast<Rgb>(g) << 8) | static_cast<Rgb>(b);
}
// True when every channel differs by at most tolerance.
bool RgbNear(Rgb a, Rgb b, int tolerance);
std::string RgbText(Rgb c);

bool WriteBytes(const std::wstring& path, const std::string& bytes);

// Colour of currentImage at (x, y), top row first, whatever its depth (palette looked up).
Rgb ImagePixel(int32_t x, int32_t y);
// Alpha byte of a 32-bit currentImage at (x, y).
uint8_t ImageAlpha(int32_t x, int32_t y);

class ViewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes path the only entry of the list and renders it with reuse 0.
  int32_t ShowFile(const std::wstring& path);
  // Reads the kept frame; fails the test when there is none.
  void ReadFrame();
  Rgb FramePixel(int32_t x, int32_t y) const;
  std::wstring Scratch(const std::wstring& name) const { return scratch_ + L"\\" + name; }

  static constexpr int32_t kWidth = 800;
  static constexpr int32_t kHeight = 600;
  // The window's picture view, with a worker of its own, as the viewer has.
  PictureView& View() { return *view_; }

  HWND viewer_ = nullptr;
  std::unique_ptr<TaskRunner> tasks_;
  std::unique_ptr<PictureView> view_;
  HWND picture_ = nullptr;
  std::wstring scratch_;
  std::vector<uint32_t> frame_;
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;
};
