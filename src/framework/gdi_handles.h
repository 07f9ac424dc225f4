// Owners for the GDI handles the renderer and the decoder take: each releases its handle on
// every path, and none can be copied.
#pragma once
#include <windows.h>

#include "framework/unique_handle.h"

// A brush, bitmap or other object released with DeleteObject. It must not be selected into a
// device context when it goes: declare it before the MemoryDc that selects it.
template <class Handle>
struct GdiObjectTraits {
  using Type = Handle;
  static Type None() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static bool Free(Type h) { return DeleteObject(h) != FALSE; }
};
using Brush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using Bitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;

// A window's device context (the whole screen's for a null window), given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A memory device context with one bitmap selected (not owned): the old bitmap is put back
// before the context is deleted, so the selected one can be deleted by its owner afterwards.
class MemoryDc {
 public:
  MemoryDc(HDC compatibleWith, HBITMAP bitmap) : dc_(CreateCompatibleDC(compatibleWith)) {
    if (dc_ != nullptr && bitmap != nullptr) old_ = SelectObject(dc_, bitmap);
  }
  ~MemoryDc() {
    if (dc_ == nullptr) return;
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;

  HDC Get() const { return dc_; }
  // False when the context or the selection failed.
  bool Ok() const { return dc_ != nullptr && old_ != nullptr && old_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};
