// The real viewer window, created in the test process from its own template, with a folder of
// solid-colour pictures to show. What it drew is read back from the kept frame.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "app/win32/vistrel_dlg.h"
#include "browse/win32/folder_listing.h"
#include "browse/win32/picture_loader.h"
#include "imagelist/win32/image_list.h"
#include "support/test_paths.h"
#include "support/viewer_driver.h"
#include "view/view_state.h"
#include "view/win32/kept_frame.h"

// A drop of the given paths in the shell's format: a DROPFILES header and a double-null list.
// The window that receives it releases it.
inline HGLOBAL MakeDrop(const std::vector<std::wstring>& paths) {
  size_t chars = 1;
  for (const std::wstring& p : paths) chars += p.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* list = reinterpret_cast<wchar_t*>(header + 1);
  for (const std::wstring& p : paths) {
    std::memcpy(list, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
    list += p.size() + 1;
  }
  GlobalUnlock(memory);
  return memory;
}

// A colour as six hex digits (RRGGBB), for failure messages.
inline std::string Hex(uint32_t colour) {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", colour);
  return text;
}

class ViewerWindowTest : public ::testing::Test {
 protected:
  // Creates the window and waits for its first paint and the picture that paint asked for.
  void OpenViewer() {
    ASSERT_TRUE(viewer_.CreateModeless(nullptr));
    DWORD start = GetTickCount();
    while (!viewer_.InitialLayoutDone() && GetTickCount() - start < 5000) Pump();
    ASSERT_TRUE(viewer_.InitialLayoutDone()) << "the viewer never painted";
    WaitForPicture();
  }

  // Lets the window's thread take the worker's results until the shown picture and the start
  // folder's listing have arrived, and the shown file has been checked.
  void WaitForPicture() {
    DWORD start = GetTickCount();
    while (Busy() && GetTickCount() - start < 30000) Pump();
    EXPECT_FALSE(Busy()) << "the picture never arrived";
  }
  // A picture awaited, a listing awaited, or the shown prepared picture's file still being
  // checked on the worker (it is shown again should it have changed).
  bool Busy() {
    return PictureLoading(Browse()) || FolderListing(Browse()) || Browse().loader.checkTask != 0;
  }

  Viewer& State() { return viewer_.State(); }
  PictureView& View() { return viewer_.State().view; }
  Browser& Browse() { return viewer_.State().browse; }

  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }

  HWND Hwnd() const { return viewer_.GetSafeHwnd(); }

  std::wstring Caption() const {
    wchar_t text[256] = {};
    GetWindowTextW(Hwnd(), text, 256);
    return text;
  }

  // A pixel of the kept frame as 0x00RRGGBB; 0xFFFFFFFF when there is no frame or the point
  // lies outside it.
  uint32_t FramePixel(int32_t x, int32_t y) {
    std::vector<uint32_t> pixels;
    int32_t width = 0, height = 0;
    if (!ReadKeptFrame(View().frame, pixels, width, height) || x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFF;
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }

  void FrameSize(int32_t& width, int32_t& height) {
    std::vector<uint32_t> pixels;
    width = height = 0;
    ReadKeptFrame(View().frame, pixels, width, height);
  }

  uint32_t CentreOfFrame() {
    int32_t width = 0, height = 0;
    FrameSize(width, height);
    return FramePixel(width / 2, height / 2);
  }

  CVistrelDlg viewer_;
};
