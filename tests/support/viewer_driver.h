// Drives a running vistrel.exe from another process, as a user would: starts it, finds
// its window, reads its caption and the pixels it shows, posts keys, mouse input and
// commands, answers its other windows, closes it and reads the settings file it writes.
// Every wait is bounded; failures say what was expected and what was seen.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/unique_handle.h"

// Polls `ready` every stepMs until it returns true or timeoutMs has passed; returns the
// last answer. Never sleeps longer than one step past the deadline.
bool WaitUntil(const std::function<bool()>& ready, DWORD timeoutMs, DWORD stepMs = 15);

// Pixels read from the screen, top row first, each 0x00RRGGBB.
struct ScreenCapture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  bool Empty() const { return pixels.empty(); }
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A colour as three 8-bit channels; tests print it as "(r,g,b)".
struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
  bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
  bool operator!=(const Rgb& other) const { return !(*this == other); }
};
Rgb ToRgb(uint32_t pixel);
std::string ToString(const Rgb& colour);
// True when every channel differs by at most `tolerance`.
bool Near(const Rgb& a, const Rgb& b, int tolerance);

// An area of a capture given by its edges, right and bottom exclusive.
struct PixelEdges {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};
std::string ToString(const PixelEdges& edges);

// Reads a screen area given by its edges in screen pixels (right, bottom exclusive) with
// BitBlt from the screen DC. Returns an empty capture when the area is empty or GDI fails.
ScreenCapture CaptureScreen(const RECT& screenEdges);
// The smallest area holding every pixel that is not within `tolerance` of `background`;
// all zero when there is none.
PixelEdges FindContentEdges(const ScreenCapture& capture, const Rgb& background, int tolerance);
// Number of pixels that differ by more than `tolerance` in any channel; captures of other
// sizes count as wholly different.
size_t CountDifferentPixels(const ScreenCapture& a, const ScreenCapture& b, int tolerance);
// Writes the capture as a PNG through GDI+; false when encoding or writing fails.
bool SaveCaptureAsPng(const ScreenCapture& capture, const std::wstring& path);
// A picture file's pixels decoded through GDI+, laid out like a capture; empty when the file
// cannot be read.
ScreenCapture ReadPictureFile(const std::wstring& path);

// The six little-endian int32 values of the 24-byte settings file, in file order.
using SettingsValues = std::array<int32_t, 6>;
std::wstring SettingsFilePathForTests();
// Deletes the settings file; true when it is gone afterwards.
bool RemoveSettingsFile();
// The file's raw bytes; false when it cannot be opened. The path is the machine-wide settings
// file unless another (a portable copy's) is given.
bool ReadSettingsBytes(std::vector<uint8_t>* bytes, const std::wstring& path = SettingsFilePathForTests());
bool WriteSettingsBytes(const std::vector<uint8_t>& bytes,
                        const std::wstring& path = SettingsFilePathForTests());
bool WriteSettingsValues(const SettingsValues& values, const std::wstring& path = SettingsFilePathForTests());
// Decodes a file of exactly 24 bytes; false for any other length.
bool DecodeSettings(const std::vector<uint8_t>& bytes, SettingsValues* values);
std::string ToString(const SettingsValues& values);

// Writes a 24-bit BMP of one colour; false when the file cannot be written.
bool WriteSolidBmp(const std::wstring& path, int width, int height, const Rgb& colour);

// Copies vistrel.exe from the test binaries' folder into `folder`; returns the copy's path
// or an empty string when the copy fails.
std::wstring CopyViewerInto(const std::wstring& folder);
std::wstring ViewerExePath();

std::string Narrow(const std::wstring& text);
std::string WindowRectText(HWND window);

// One running viewer process. The destructor terminates it if it is still running, so a
// failing test never leaves a window behind for the next one.
class ViewerProcess {
 public:
  ViewerProcess() = default;
  ~ViewerProcess();
  ViewerProcess(const ViewerProcess&) = delete;
  ViewerProcess& operator=(const ViewerProcess&) = delete;

  // Starts `exePath` with `arguments` appended to its quoted path on the command line.
  // An empty workingDir keeps the test's current folder. On failure *error says why.
  bool Start(const std::wstring& exePath, const std::wstring& arguments, std::string* error,
             const std::wstring& workingDir = L"");
  // Opens `file` as Explorer does through a registered class (a ProgID, or
  // "Applications\vistrel.exe"): ShellExecuteEx runs that class's "open" command line.
  bool OpenThroughClass(const std::wstring& registeredClass, const std::wstring& file, std::string* error);
  // The full path of the running program, as the system reports it.
  std::wstring ProgramPath() const;
  // Waits for the process's visible dialog window ("#32770") and remembers it, looking every
  // stepMs.
  bool WaitForWindow(DWORD timeoutMs, std::string* error, DWORD stepMs = 15);
  HWND Window() const { return window_; }
  DWORD ProcessId() const { return processId_; }

  std::wstring Caption() const;
  // Waits until the caption equals `expected`; *seen gets the last caption read.
  bool WaitForCaption(const std::wstring& expected, DWORD timeoutMs, std::wstring* seen);

  // Client area of the viewer window in screen pixels (edges, right/bottom exclusive).
  RECT ClientScreenEdges() const;
  ScreenCapture CaptureClient() const;
  // Waits until the client area's pixel at client point (x, y) is within tolerance of
  // `colour`; *seen gets the last colour read.
  bool WaitForClientPixel(int x, int y, const Rgb& colour, int tolerance, DWORD timeoutMs, Rgb* seen) const;
  // Waits until two captures of the client area taken `stepMs` apart are equal.
  bool WaitForStillPicture(DWORD timeoutMs, DWORD stepMs = 120) const;

  // Keys are posted to the viewer window as a key-down and a key-up, as the keyboard queues them.
  void PostKey(UINT virtualKey) const;
  void PostKeyDown(UINT virtualKey) const;
  void PostKeyUp(UINT virtualKey) const;
  // A key-down that the keyboard's auto-repeat queues while the key is held: it says the key
  // was already down.
  void PostKeyRepeat(UINT virtualKey) const;
  void PostCommand(UINT id) const;
  void PostSysCommand(UINT command, LPARAM param = 0) const;
  // Puts the real cursor at client point (x, y): the viewer reads GetCursorPos.
  void MoveCursorToClient(int x, int y) const;
  // Posts a mouse message to the viewer's window under client point (x, y) after moving the
  // cursor there; `message` is WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONDBLCLK and the like.
  void PostMouse(UINT message, int x, int y, WPARAM keys) const;
  void PostWheel(int delta, int x, int y) const;

  // Another top-level window of this process, matching `className` and `caption` where
  // they are not empty; nullptr when none shows within the timeout.
  HWND WaitForOtherWindow(const std::wstring& className, const std::wstring& caption, DWORD timeoutMs) const;
  // True while the process has a visible top-level window other than the viewer window.
  bool HasOtherWindow() const;
  static void PressButton(HWND dialog, int buttonId);

  // Window state, read from outside.
  bool IsMaximized() const { return IsZoomed(window_) != FALSE; }
  bool IsMinimized() const { return IsIconic(window_) != FALSE; }
  RECT WindowEdges() const;

  // Posts WM_CLOSE, then waits for the process to end.
  void RequestClose() const;
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
  bool Running() const;
  void Terminate();
  // The exit code as text, or why there is none.
  std::string ExitCodeText() const;

 private:
  KernelHandle process_;
  KernelHandle thread_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;  // not owned: the viewer's own window
};
