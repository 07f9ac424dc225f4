// A first view of a big or progressive JPEG while its full decode runs: the same bytes decoded
// again on a thread of its own, reduced by libjpeg (a half, a quarter or an eighth of each side,
// the most that still gives a decoded pixel per pixel shown) and, for a progressive file, from its
// first scans only, area-averaged to the fitted size, turned by the
// EXIF orientation, and sent to the window's thread, which shows it until the full picture comes.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "decode/win32/image_decode.h"
#include "framework/task_runner.h"
#include "picture/win32/dib_image.h"

// What the window's thread gets: the view, fitted to the area it was made for.
struct FirstViewPicture {
  std::wstring path;
  uint64_t serial = 0;        // the preparation it belongs to
  CImage fitted;              // turned upright, at the fitted size
  int32_t pictureWidth = 0;   // the full picture's size, upright
  int32_t pictureHeight = 0;
};

// Runs beside one decode (DecodeFile's BesideDecode). Made on the worker for that decode only.
class FirstViewBeside final : public BesideDecode {
 public:
  // Blocks until the picture area is known; false when it never will be (the start abandoned).
  using AreaSource = std::function<bool(SIZE& area)>;
  // Window's thread: takes the view.
  using Taker = std::function<void(std::shared_ptr<FirstViewPicture>& view)>;

  FirstViewBeside(std::wstring path, uint64_t serial, AreaSource area, TaskRunner::EarlyReplies replies, Taker take);
  ~FirstViewBeside();
  FirstViewBeside(const FirstViewBeside&) = delete;
  FirstViewBeside& operator=(const FirstViewBeside&) = delete;

  void Start(const EncodedPicture& picture) override;
  // Stops the view where it is, should the full picture have come first, and waits for it.
  void Finish() noexcept override;

 private:
  void Make(EncodedPicture picture);

  std::wstring path_;
  uint64_t serial_;
  AreaSource area_;
  TaskRunner::EarlyReplies replies_;
  Taker take_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
