#include "support/viewer_driver.h"

#include <gdiplus.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/gdi_handles.h"
#include "framework/gdiplus_handles.h"
#include "support/test_paths.h"

namespace {

// GDI+ for the lifetime of one encoding call.
class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

BITMAPINFO TopDown32BitInfo(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

struct FindWindowQuery {
  DWORD processId;
  HWND exclude;
  const std::wstring* className;  // not owned; empty matches any
  const std::wstring* caption;    // not owned; empty matches any
  HWND found;
};

std::wstring ClassNameOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring CaptionOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

BOOL CALLBACK MatchTopLevelWindow(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<FindWindowQuery*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != query->processId || window == query->exclude || !IsWindowVisible(window)) return TRUE;
  if (!query->className->empty() && ClassNameOf(window) != *query->className) return TRUE;
  if (!query->caption->empty() && CaptionOf(window) != *query->caption) return TRUE;
  query->found = window;
  return FALSE;
}

HWND FindTopLevelWindow(DWORD processId, HWND exclude, const std::wstring& className,
                        const std::wstring& caption) {
  FindWindowQuery query{processId, exclude, &className, &caption, nullptr};
  EnumWindows(MatchTopLevelWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

std::string LastErrorText(const char* what, DWORD error) {
  char text[160];
  std::snprintf(text, sizeof text, "%s failed, GetLastError %lu", what, static_cast<unsigned long>(error));
  return text;
}

enum class KeyTransition { press, repeat, release };

LPARAM KeyParam(UINT virtualKey, KeyTransition transition) {
  LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  LPARAM param = 1 | scan;
  const LPARAM wasDown = static_cast<LPARAM>(1) << 30;
  const LPARAM goingUp = static_cast<LPARAM>(1) << 31;
  if (transition == KeyTransition::repeat) param |= wasDown;
  if (transition == KeyTransition::release) param |= wasDown | goingUp;
  return param;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& ready, DWORD timeoutMs, DWORD stepMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (ready()) return true;
    if (GetTickCount64() >= deadline) return ready();
    Sleep(stepMs);
  }
}

Rgb ToRgb(uint32_t pixel) {
  return Rgb{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
             static_cast<int>(pixel & 0xFF)};
}

std::string ToString(const Rgb& colour) {
  return "(" + std::to_string(colour.r) + "," + std::to_string(colour.g) + "," + std::to_string(colour.b) + ")";
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string ToString(const PixelEdges& edges) {
  return "left " + std::to_string(edges.left) + " top " + std::to_string(edges.top) + " right " +
         std::to_string(edges.right) + " bottom " + std::to_string(edges.bottom);
}

ScreenCapture CaptureScreen(const RECT& screenEdges) {
  ScreenCapture capture;
  const int width = screenEdges.right - screenEdges.left;
  const int height = screenEdges.bottom - screenEdges.top;
  if (width <= 0 || height <= 0) return capture;
  WindowDc screen(nullptr);
  if (!screen.Get()) return capture;
  BITMAPINFO info = TopDown32BitInfo(width, height);
  void* bits = nullptr;
  Bitmap dib(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib || !bits) return capture;
  {
    MemoryDc memory(screen.Get(), dib.Get());
    if (!memory.Ok()) return capture;
    if (!BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), screenEdges.left, screenEdges.top, SRCCOPY)) {
      return capture;
    }
    GdiFlush();
  }
  const auto* source = static_cast<const uint32_t*>(bits);
  capture.width = width;
  capture.height = height;
  capture.pixels.resize(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < capture.pixels.size(); ++i) capture.pixels[i] = source[i] & 0x00FFFFFF;
  return capture;
}

PixelEdges FindContentEdges(const ScreenCapture& capture, const Rgb& background, int tolerance) {
  PixelEdges edges{capture.width, capture.height, 0, 0};
  for (int y = 0; y < capture.height; ++y) {
    for (int x = 0; x < capture.width; ++x) {
      if (Near(ToRgb(capture.At(x, y)), background, tolerance)) continue;
      if (x < edges.left) edges.left = x;
      if (y < edges.top) edges.top = y;
      if (x + 1 > edges.right) edges.right = x + 1;
      if (y + 1 > edges.bottom) edges.bottom = y + 1;
    }
  }
  if (edges.right == 0) return PixelEdges{};
  return edges;
}

size_t CountDifferentPixels(const ScreenCapture& a, const ScreenCapture& b, int tolerance) {
  if (a.width != b.width || a.height != b.height) {
    return std::max(a.pixels.size(), b.pixels.size());
  }
  size_t different = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    if (!Near(ToRgb(a.pixels[i]), ToRgb(b.pixels[i]), tolerance)) ++different;
  }
  return different;
}

bool SaveCaptureAsPng(const ScreenCapture& capture, const std::wstring& path) {
  if (capture.Empty()) return false;
  GdiplusSession session;
  if (!session.Ok()) return false;
  // The capture's rows live in our vector; GDI+ only reads them during the save.
  std::vector<uint32_t> rows(capture.pixels);
  for (uint32_t& pixel : rows) pixel |= 0xFF000000u;
  GpBitmapOwner bitmap;
  if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(capture.width, capture.height, capture.width * 4,
                                                     PixelFormat32bppARGB, reinterpret_cast<BYTE*>(rows.data()),
                                                     bitmap.Out()) != Gdiplus::Ok) {
    return false;
  }
  // The PNG encoder's class id, as the imaging library registers it.
  const CLSID pngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  return Gdiplus::DllExports::GdipSaveImageToFile(bitmap.Get(), path.c_str(), &pngEncoder, nullptr) == Gdiplus::Ok;
}

ScreenCapture ReadPictureFile(const std::wstring& path) {
  ScreenCapture capture;
  GdiplusSession session;
  GpBitmapOwner bitmap;
  if (!session.Ok() || Gdiplus::DllExports::GdipCreateBitmapFromFile(path.c_str(), bitmap.Out()) != Gdiplus::Ok) {
    return capture;
  }
  UINT width = 0;
  UINT height = 0;
  Gdiplus::DllExports::GdipGetImageWidth(bitmap.Get(), &width);
  Gdiplus::DllExports::GdipGetImageHeight(bitmap.Get(), &height);
  const Gdiplus::Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData data = {};
  if (width == 0 || height == 0 ||
      Gdiplus::DllExports::GdipBitmapLockBits(bitmap.Get(), &all, Gdiplus::ImageLockModeRead, PixelFormat32bppRGB,
                                              &data) != Gdiplus::Ok) {
    return capture;
  }
  capture.width = static_cast<int>(width);
  capture.height = static_cast<int>(height);
  capture.pixels.resize(static_cast<size_t>(width) * height);
  for (UINT y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(data.Scan0) +
                                                  static_cast<ptrdiff_t>(y) * data.Stride);
    for (UINT x = 0; x < width; ++x) capture.pixels[static_cast<size_t>(y) * width + x] = row[x] & 0x00FFFFFF;
  }
  Gdiplus::DllExports::GdipBitmapUnlockBits(bitmap.Get(), &data);
  return capture;
}

std::wstring SettingsFilePathForTests() {
  wchar_t folder[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder) < 0) return L"";
  return std::wstring(folder) + L"\\vistrel.settings";
}

bool RemoveSettingsFile() {
  const std::wstring path = SettingsFilePathForTests();
  DeleteFileW(path.c_str());
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool ReadSettingsBytes(std::vector<uint8_t>* bytes, const std::wstring& path) {
  return ReadFileBytes(path, bytes);
}

bool WriteSettingsBytes(const std::vector<uint8_t>& bytes, const std::wstring& path) {
  return WriteFileBytes(path, bytes);
}

bool WriteSettingsValues(const SettingsValues& values, const std::wstring& path) {
  std::vector<uint8_t> bytes;
  for (int32_t value : values) {
    const auto u = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(u >> shift));
  }
  return WriteSettingsBytes(bytes, path);
}

bool DecodeSettings(const std::vector<uint8_t>& bytes, SettingsValues* values) {
  if (bytes.size() != 24) return false;
  for (size_t i = 0; i < 6; ++i) {
    uint32_t u = 0;
    for (size_t b = 0; b < 4; ++b) u |= static_cast<uint32_t>(bytes[i * 4 + b]) << (8 * b);
    (*values)[i] = static_cast<int32_t>(u);
  }
  return true;
}

std::string ToString(const SettingsValues& values) {
  std::string text;
  for (int32_t value : values) text += (text.empty() ? "" : ", ") + std::to_string(value);
  return text;
}

bool WriteSolidBmp(const std::wstring& path, int width, int height, const Rgb& colour) {
  if (width <= 0 || height <= 0) return false;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  const size_t imageBytes = stride * height;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + imageBytes);
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(imageBytes);
  std::vector<uint8_t> bytes(file.bfOffBits + imageBytes, 0);
  std::memcpy(bytes.data(), &file, sizeof file);
  std::memcpy(bytes.data() + sizeof file, &info, sizeof info);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bytes.data() + file.bfOffBits + stride * y;
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<uint8_t>(colour.b);
      row[x * 3 + 1] = static_cast<uint8_t>(colour.g);
      row[x * 3 + 2] = static_cast<uint8_t>(colour.r);
    }
  }
  return WriteFileBytes(path, bytes);
}

std::wstring ViewerExePath() { return BinaryDir() + L"\\vistrel.exe"; }

std::wstring CopyViewerInto(const std::wstring& folder) {
  const std::wstring target = folder + L"\\vistrel.exe";
  if (!CopyFileW(ViewerExePath().c_str(), target.c_str(), FALSE)) return L"";
  return target;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return "";
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::string WindowRectText(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
         std::to_string(r.bottom) + ")";
}

ViewerProcess::~ViewerProcess() {
  if (Running()) Terminate();
}

bool ViewerProcess::Start(const std::wstring& exePath, const std::wstring& arguments, std::string* error,
                          const std::wstring& workingDir) {
  std::wstring commandLine = L"\"" + exePath + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
    const DWORD lastError = GetLastError();
    *error = LastErrorText("CreateProcessW", lastError) + " for " + Narrow(commandLine);
    return false;
  }
  process_.Reset(info.hProcess);
  thread_.Reset(info.hThread);
  processId_ = info.dwProcessId;
  threadId_ = info.dwThreadId;
  window_ = nullptr;
  return true;
}

bool ViewerProcess::OpenThroughClass(const std::wstring& registeredClass, const std::wstring& file,
                                     std::string* error) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpClass = registeredClass.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info) || info.hProcess == nullptr) {
    const DWORD lastError = GetLastError();
    *error = LastErrorText("ShellExecuteExW", lastError) + " opening " + Narrow(file) + " through " +
             Narrow(registeredClass) + (info.hProcess ? "" : " (no process started)");
    return false;
  }
  process_.Reset(info.hProcess);
  thread_.Reset();
  processId_ = GetProcessId(info.hProcess);
  threadId_ = 0;  // learnt from the window in WaitForWindow
  window_ = nullptr;
  return true;
}

std::wstring ViewerProcess::ProgramPath() const {
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!process_ || !QueryFullProcessImageNameW(process_.Get(), 0, path, &size)) return L"";
  return std::wstring(path, size);
}

bool ViewerProcess::WaitForWindow(DWORD timeoutMs, std::string* error, DWORD stepMs) {
  HWND found = nullptr;
  WaitUntil([&] {
    found = FindTopLevelWindow(processId_, nullptr, L"#32770", L"");
    return found != nullptr || !Running();
  }, timeoutMs, stepMs);
  if (!found) {
    *error = Running() ? "expected a visible #32770 window of the viewer within " + std::to_string(timeoutMs) +
                             " ms, saw none"
                       : "the viewer ended before it showed a window, exit code " + ExitCodeText();
    return false;
  }
  window_ = found;
  if (threadId_ == 0) threadId_ = GetWindowThreadProcessId(found, nullptr);
  return true;
}

std::string ViewerProcess::ExitCodeText() const {
  DWORD code = 0;
  if (!process_ || !GetExitCodeProcess(process_.Get(), &code)) return "unknown";
  if (code == STILL_ACTIVE) return "none yet (still running)";
  char text[32];
  std::snprintf(text, sizeof text, "%lu (0x%08lX)", static_cast<unsigned long>(code), static_cast<unsigned long>(code));
  return text;
}

std::wstring ViewerProcess::Caption() const { return CaptionOf(window_); }

bool ViewerProcess::WaitForCaption(const std::wstring& expected, DWORD timeoutMs, std::wstring* seen) {
  return WaitUntil([&] {
    *seen = Caption();
    return *seen == expected;
  }, timeoutMs);
}

RECT ViewerProcess::ClientScreenEdges() const {
  RECT client = {};
  GetClientRect(window_, &client);
  POINT origin = {0, 0};
  ClientToScreen(window_, &origin);
  return RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

ScreenCapture ViewerProcess::CaptureClient() const { return CaptureScreen(ClientScreenEdges()); }

bool ViewerProcess::WaitForClientPixel(int x, int y, const Rgb& colour, int tolerance, DWORD timeoutMs,
                                       Rgb* seen) const {
  return WaitUntil([&] {
    RECT client = ClientScreenEdges();
    RECT one = {client.left + x, client.top + y, client.left + x + 1, client.top + y + 1};
    ScreenCapture capture = CaptureScreen(one);
    if (capture.Empty()) return false;
    *seen = ToRgb(capture.At(0, 0));
    return Near(*seen, colour, tolerance);
  }, timeoutMs, 25);
}

bool ViewerProcess::WaitForStillPicture(DWORD timeoutMs, DWORD stepMs) const {
  ScreenCapture previous = CaptureClient();
  return WaitUntil([&] {
    Sleep(stepMs);
    ScreenCapture now = CaptureClient();
    const bool still = !now.Empty() && CountDifferentPixels(previous, now, 0) == 0;
    previous = std::move(now);
    return still;
  }, timeoutMs, 1);
}

void ViewerProcess::PostKeyDown(UINT virtualKey) const {
  PostMessageW(window_, WM_KEYDOWN, virtualKey, KeyParam(virtualKey, KeyTransition::press));
}

void ViewerProcess::PostKeyRepeat(UINT virtualKey) const {
  PostMessageW(window_, WM_KEYDOWN, virtualKey, KeyParam(virtualKey, KeyTransition::repeat));
}

void ViewerProcess::PostKeyUp(UINT virtualKey) const {
  PostMessageW(window_, WM_KEYUP, virtualKey, KeyParam(virtualKey, KeyTransition::release));
}

void ViewerProcess::PostKey(UINT virtualKey) const {
  PostKeyDown(virtualKey);
  PostKeyUp(virtualKey);
}

void ViewerProcess::PostCommand(UINT id) const { PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void ViewerProcess::PostSysCommand(UINT command, LPARAM param) const {
  PostMessageW(window_, WM_SYSCOMMAND, command, param);
}

void ViewerProcess::MoveCursorToClient(int x, int y) const {
  POINT point = {x, y};
  ClientToScreen(window_, &point);
  SetCursorPos(point.x, point.y);
}

void ViewerProcess::PostMouse(UINT message, int x, int y, WPARAM keys) const {
  POINT screen = {x, y};
  ClientToScreen(window_, &screen);
  SetCursorPos(screen.x, screen.y);
  // The message goes where the system would send it: the viewer's window under the point.
  HWND target = WindowFromPoint(screen);
  DWORD owner = 0;
  if (target) GetWindowThreadProcessId(target, &owner);
  if (!target || owner != processId_) target = window_;
  POINT local = screen;
  ScreenToClient(target, &local);
  PostMessageW(target, message, keys, MAKELPARAM(local.x, local.y));
}

void ViewerProcess::PostWheel(int delta, int x, int y) const {
  POINT screen = {x, y};
  ClientToScreen(window_, &screen);
  SetCursorPos(screen.x, screen.y);
  // Wheel messages carry screen coordinates and go to the focus window; the viewer window
  // stands in for it when the focus cannot be read.
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  HWND target = window_;
  if (GetGUIThreadInfo(threadId_, &gui) && gui.hwndFocus) target = gui.hwndFocus;
  PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<short>(delta)), MAKELPARAM(screen.x, screen.y));
}

HWND ViewerProcess::WaitForOtherWindow(const std::wstring& className, const std::wstring& caption,
                                       DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil([&] {
    found = FindTopLevelWindow(processId_, window_, className, caption);
    return found != nullptr;
  }, timeoutMs);
  return found;
}

bool ViewerProcess::HasOtherWindow() const {
  return FindTopLevelWindow(processId_, window_, L"", L"") != nullptr;
}

void ViewerProcess::PressButton(HWND dialog, int buttonId) {
  HWND button = GetDlgItem(dialog, buttonId);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

RECT ViewerProcess::WindowEdges() const {
  RECT edges = {};
  GetWindowRect(window_, &edges);
  return edges;
}

void ViewerProcess::RequestClose() const { PostMessageW(window_, WM_CLOSE, 0, 0); }

bool ViewerProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  if (WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_.Get(), &code);
  if (exitCode) *exitCode = code;
  return true;
}

bool ViewerProcess::Running() const {
  return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

void ViewerProcess::Terminate() {
  if (!process_) return;
  TerminateProcess(process_.Get(), 1);
  WaitForSingleObject(process_.Get(), 5000);
}
