// Decode, render and memory figures for the image pipeline, each against bare baselines measured
// in the same run: the library's own decode, the imaging-library route the viewer took before its
// fast paths (DecodeWithImagingLibrary), a bare HALFTONE StretchBlt. Prints figures; it is not a
// test.
//
//   view_bench.exe                       makes a 24 MP JPEG, a 12 MP JPEG and a 12 MP RGBA PNG
//   view_bench.exe FILE...               measures the given files instead
//   view_bench.exe --memory ROUTE FILE RESULT   (used by the above) peak working set of one
//                                        decode by ROUTE ("ours" or "library"), also written
//                                        to RESULT
#include <windows.h>
#include <gdiplus.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "bench_timing.h"
#include "bench_viewer.h"
#include "decode/win32/image_decode.h"
#include "framework/gdi_handles.h"
#include "framework/task_runner.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "support/image_encoders.h"
#include "support/test_paths.h"
#include "view/alpha_path.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/current_picture.h"
#include "view/win32/picture_view.h"
#include "view/win32/render.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr int kRuns = 7;
constexpr int32_t kControlWidth = 1920;
constexpr int32_t kControlHeight = 1080;

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }


// A photo-like picture: smooth gradients with grain, so the encoders have real work to do; the
// PNG gets an alpha ramp.
bool MakePicture(const std::wstring& path, int32_t width, int32_t height, const wchar_t* mime, bool alpha) {
  CLSID clsid;
  if (!FindImageEncoder(mime, clsid)) return false;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t grain = (seed >> 27);
      const uint32_t r = (x * 255 / width + grain) & 0xFF;
      const uint32_t g = (y * 255 / height + grain) & 0xFF;
      const uint32_t b = ((x + y) * 255 / (width + height)) & 0xFF;
      const uint32_t a = alpha ? (x * 255 / width) : 255;
      pixels[static_cast<size_t>(y) * width + x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB,
                                reinterpret_cast<BYTE*>(pixels.data()), &bitmap) != Gdiplus::Ok) {
    return false;
  }
  const bool ok = GdipSaveImageToFile(bitmap, path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
  GdipDisposeImage(bitmap);
  return ok;
}

bool IsJpeg(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  const bool jpeg = std::fgetc(file) == 0xFF && std::fgetc(file) == 0xD8;
  std::fclose(file);
  return jpeg;
}

// libjpeg-turbo on its own: the file through its stdio source, every row through the scanline
// API into one malloc'd buffer, with the settings the viewer's decoder uses. Colour files only.
double BareTurboMs(const std::wstring& path) {
  const double start = NowMs();
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return 0;
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);  // the bench makes valid files; libjpeg's own exit is fine
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  const size_t rowBytes = static_cast<size_t>(info.output_width) * info.output_components;
  auto* pixels = static_cast<uint8_t*>(std::malloc(rowBytes * info.output_height));
  while (pixels != nullptr && info.output_scanline < info.output_height) {
    JSAMPROW rows[16];
    for (int i = 0; i < 16; ++i) rows[i] = pixels + rowBytes * std::min<size_t>(info.output_scanline + i, info.output_height - 1);
    jpeg_read_scanlines(&info, rows, 16);
  }
  jpeg_abort_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  std::free(pixels);
  return NowMs() - start;
}

// The viewer's decode of the current file, timed.
double OursMs(PictureView& view) {
  const double start = NowMs();
  RotateRequest rotation = kTurnNone;
  DecodeCurrentFile(view, rotation);
  return NowMs() - start;
}

// The imaging-library route alone, into a DIB of its own, timed.
double LibraryRouteMs(const std::wstring& path) {
  CImage image;
  const double start = NowMs();
  DecodeWithImagingLibrary(path, image);
  return NowMs() - start;
}

// The viewer's JPEG decode against libjpeg-turbo alone, interleaved.
void JpegFigures(PictureView& view, const std::wstring& path) {
  std::vector<double> bare, ours;
  for (int i = 0; i < kRuns; ++i) {
    bare.push_back(BareTurboMs(path));
    ours.push_back(OursMs(view));
  }
  const double b = Median(bare), o = Median(ours);
  std::printf("  (a) JPEG decode: DecodeCurrentFile %.1f ms, bare libjpeg-turbo scanline decode %.1f ms, ratio %.3f "
              "(target <= 1.15)\n",
              o, b, o / b);
}

void DecodeFigures(PictureView& view, const std::wstring& path) {
  std::vector<double> bare, ours, library;
  for (int i = 0; i < kRuns; ++i) {
    double start = NowMs();
    Gdiplus::GpBitmap* bitmap = nullptr;
    GdipCreateBitmapFromFile(path.c_str(), &bitmap);
    if (bitmap != nullptr) GdipDisposeImage(bitmap);
    bare.push_back(NowMs() - start);
    ours.push_back(OursMs(view));
    library.push_back(LibraryRouteMs(path));
  }
  // The part of ours that is not the library's decode: a DIB of the same size, touched once.
  std::vector<double> copy;
  const int32_t w = currentImage.Width(), h = currentImage.Height(), bits = currentImage.BitsPerPixel();
  for (int i = 0; i < kRuns; ++i) {
    CImage scratch;
    const double start = NowMs();
    if (scratch.Create(w, h, bits, false)) {
      for (int32_t y = 0; y < h; ++y) std::memset(scratch.TopRow() + static_cast<ptrdiff_t>(y) * scratch.Pitch(), y, static_cast<size_t>(-scratch.Pitch()));
    }
    scratch.Destroy();
    copy.push_back(NowMs() - start);
  }
  const double b = Median(bare), o = Median(ours), l = Median(library);
  std::printf("  (a) creating, filling and freeing a %dx%d %d-bit DIB alone: %.1f ms\n", w, h, bits, Median(copy));
  std::printf("  (a) decode: DecodeCurrentFile %.1f ms, bare GdipCreateBitmapFromFile %.1f ms, ratio %.3f (target <= 1.15)\n",
              o, b, o / b);
  std::printf("  (a) the imaging-library route (DecodeWithImagingLibrary) %.1f ms, ours / it %.3f\n", l, o / l);
}

// One HALFTONE StretchBlt of the kept bitmap into a control-sized bitmap, the way Render draws it.
double BareStretchMs(HWND viewer) {
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  WindowDc screen(control);
  Bitmap target(CreateCompatibleBitmap(screen.Get(), kControlWidth, kControlHeight));
  MemoryDc dest(screen.Get(), target.Get());
  MemoryDc source(dest.Get(), currentImage.Handle());
  const XywhRect d = FitImage(currentImage.Width(), currentImage.Height(), kControlWidth, kControlHeight);
  std::vector<double> runs;
  for (int i = 0; i < kRuns; ++i) {
    const double start = NowMs();
    SetStretchBltMode(dest.Get(), HALFTONE);
    SetBrushOrgEx(dest.Get(), 0, 0, nullptr);
    StretchBlt(dest.Get(), d.x, d.y, d.width, d.height, source.Get(), 0, 0, currentImage.Width(),
               currentImage.Height(), SRCCOPY);
    GdiFlush();
    runs.push_back(NowMs() - start);
  }
  return Median(runs);
}

void RenderFigures(BenchViewer& viewer, const std::wstring& path, const wchar_t* listedAs) {
  PictureView& view = viewer.View();
  currentIndex = 0;
  // Decode from the real file, then take the rules of the spelling that picks the path to measure.
  RotateRequest rotation = kTurnNone;
  ImageList = {path};
  DecodeCurrentFile(view, rotation);
  ImageList = {listedAs};
  view.shown.rules.alphaPath = TakesAlphaPath(listedAs);
  viewState.zoom = 1.0f;
  Redraw(view);  // first draw premultiplies once on the alpha path
  // A large picture's fitted copy is averaged on the worker: the redraws measured reuse it.
  if (!viewer.PumpUntil([&] { return ExactPartAsked(view) == 0; }, 60000)) {
    std::printf("  (b) the fitted copy did not come from the worker\n");
  }
  std::vector<double> runs;
  for (int i = 0; i < kRuns; ++i) {
    const double start = NowMs();
    Redraw(view);
    GdiFlush();
    runs.push_back(NowMs() - start);
  }
  const double ours = Median(runs);
  const double bare = BareStretchMs(viewer.Window());
  std::printf("  (b) Render reuse 1, %s path, %dx%d: %.1f ms, bare HALFTONE StretchBlt %.1f ms, ratio %.3f (target <= 1.15)\n",
              wcsstr(listedAs, L".png") ? "alpha" : "plain", kControlWidth, kControlHeight, ours, bare, ours / bare);
}

// One decode by `route` in a process of its own, so that its peak is the decode's alone; its
// peak growth in MB, or -1 when the run failed.
double MemoryChild(const std::wstring& route, const std::wstring& path, const std::wstring& result) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command =
      L"\"" + std::wstring(self) + L"\" --memory " + route + L" \"" + path + L"\" \"" + result + L"\"";
  DeleteFileW(result.c_str());
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("  (c) could not start the memory run, error %lu\n", GetLastError());
    return -1;
  }
  KernelHandle process(pi.hProcess);
  KernelHandle thread(pi.hThread);
  if (WaitForSingleObject(process.Get(), 120000) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 1);
    std::printf("  (c) the memory run did not end in 2 minutes\n");
    return -1;
  }
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(result, &bytes)) return -1;
  bytes.push_back(0);
  double growth = -1;
  return std::sscanf(reinterpret_cast<const char*>(bytes.data()), "%lf", &growth) == 1 ? growth : -1;
}

// The peak growth of our decode against the imaging-library route's, each in its own process.
void MemoryFigures(const std::wstring& path, const std::wstring& scratch) {
  const std::wstring result = scratch + L"\\memory.txt";
  const double ours = MemoryChild(L"ours", path, result);
  const double library = MemoryChild(L"library", path, result);
  DeleteFileW(result.c_str());
  if (ours > 0 && library > 0) {
    std::printf("  (c) peak growth, ours / the imaging-library route: %.1f / %.1f MB = %.2f\n", ours, library,
                ours / library);
  }
}

double PeakWorkingSetMb() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

int MemoryRun(const std::wstring& route, const std::wstring& path, const std::wstring& result) {
  const bool library = route == L"library";
  if (!library && route != L"ours") return 2;
  EnsureImagingStarted();
  TaskRunner tasks;  // the view needs one; nothing is handed to it here
  PictureView view(tasks);
  CImage alone;
  const double before = PeakWorkingSetMb();
  ImageList = {path};
  currentIndex = 0;
  RotateRequest rotation = kTurnNone;
  const bool ok = library ? DecodeWithImagingLibrary(path, alone) : DecodeCurrentFile(view, rotation);
  const double after = PeakWorkingSetMb();
  const CImage& decoded = library ? alone : currentImage;
  const double dib = static_cast<double>(-decoded.Pitch()) * decoded.Height() / (1024.0 * 1024.0);
  std::printf("  (c) peak working set, %s: %.1f MB before decode, %.1f MB after (+%.1f MB); DIB itself %.1f MB; "
              "peak growth / DIB %.2f; beyond the DIB %.1f MB%s%s\n",
              library ? "imaging-library route" : "ours", before, after, after - before, dib,
              dib > 0 ? (after - before) / dib : 0.0, after - before - dib,
              IsJpeg(path) && !library ? " (JPEG target <= 30 MB)" : "", ok ? "" : " (decode failed)");
  std::fflush(stdout);
  currentImage.Destroy();
  if (!ok) return 1;
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%.3f\n", after - before);
  return WriteFileBytes(result, std::vector<uint8_t>(text, text + length)) ? 0 : 1;
}

}  // namespace

int main() {
  const std::vector<std::wstring> argv = ProgramArguments();
  const size_t argc = argv.size();
  if (argc == 5 && argv[1] == L"--memory") return MemoryRun(argv[2], argv[3], argv[4]);
  if (!EnsureImagingStarted()) {
    std::printf("imaging library did not start\n");
    return 1;
  }

  std::vector<std::wstring> files;
  std::wstring scratch;
  for (size_t i = 1; i < argc; ++i) files.push_back(argv[i]);
  if (files.empty()) {
    scratch = MakeScratchDir(L"view-bench");
    struct Made {
      const wchar_t* name;
      int32_t w, h;
      const wchar_t* mime;
      bool alpha;
    };
    for (const Made& m : {Made{L"\\24mp.jpg", 6000, 4000, L"image/jpeg", false},
                          Made{L"\\12mp.jpg", 4000, 3000, L"image/jpeg", false},
                          Made{L"\\12mp-rgba.png", 4000, 3000, L"image/png", true}}) {
      const double start = NowMs();
      if (!MakePicture(scratch + m.name, m.w, m.h, m.mime, m.alpha)) {
        std::printf("could not make %s\n", Narrow(m.name).c_str());
        return 1;
      }
      std::printf("made %s (%dx%d) in %.0f ms\n", Narrow(m.name).c_str() + 1, m.w, m.h, NowMs() - start);
      files.push_back(scratch + m.name);
    }
  }

  SetInitialViewState(viewState);
  const std::wstring memoryScratch = MakeScratchDir(L"view-bench-memory");
  {
    BenchViewer viewer(L"view bench", kControlWidth, kControlHeight);
    for (const std::wstring& path : files) {
      std::printf("%s\n", Narrow(path.substr(path.find_last_of(L'\\') + 1)).c_str());
      ImageList = {path};
      currentIndex = 0;
      DecodeFigures(viewer.View(), path);
      if (IsJpeg(path)) JpegFigures(viewer.View(), path);
      // The plain path under a name without the alpha spellings, the alpha path under ".png".
      RenderFigures(viewer, path, L"C:\\bench\\picture.jpg");
      RenderFigures(viewer, path, L"C:\\bench\\picture.png");
      std::fflush(stdout);
      MemoryFigures(path, memoryScratch);
    }
  }
  currentImage.Destroy();
  RemoveTree(memoryScratch);
  if (!scratch.empty()) RemoveTree(scratch);
  return 0;
}
