#include "browse/win32/animation.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "browse/win32/browser.h"
#include "browse/win32/picture_loader.h"
#include "decode/animation_frames.h"
#include "decode/format_table.h"
#include "decode/win32/colour_managed.h"
#include "decode/win32/display_profile.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "picture/premultiply.h"
#include "picture/win32/image_edits.h"
#include "resource.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/exact_view.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/render.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A frame made on the worker, ready to become the shown picture as it is.
struct AnimationFrame {
  CImage image;
  FittedCopy fitted;  // for `area`, when one was made
  SIZE area{};
  RotateRequest turns = kTurnNone;
  int32_t delayMs = 0;
};

// The composer and where it is in the animation's plays. Worker thread only: the window's thread
// makes it and lets go of it, and the tasks that use it run one at a time.
class AnimationSource {
 public:
  AnimationSource(std::shared_ptr<const FileBytes> bytes, DisplayTarget target)
      : bytes_(std::move(bytes)), target_(std::move(target)) {}

  // The first frame composed (it is on the screen already, from the decode); its delay.
  bool Start(int32_t& delayMs) {
    started_ = true;
    frames_ = OpenAnimationFrames(bytes_->bytes.get(), bytes_->size);
    if (!frames_ || !frames_->Next()) return false;
    // The frames in the display's colours, as the first one was decoded: the profile the
    // composer gives, else the one the file embeds (a PNG's).
    profile_ = frames_->Profile();
    if (profile_.empty()) {
      MemoryByteSource source(bytes_->bytes.get(), bytes_->size);
      profile_ = ReadPictureFacts(source).profile;
    }
    if (!profile_.empty()) {
      if (const auto display = DisplayProfileBytes(target_)) display_ = *display;
    }
    composedThisPlay_ = 1;
    delayMs = frames_->DelayMs();
    return true;
  }
  bool Started() const { return started_; }

  // The next frame over the canvas, from the start again at the end of a play while plays are
  // left; false once the animation is over. A play of fewer than two frames (a file broken early)
  // is not repeated.
  bool Next() {
    if (frames_->Next()) {
      ++composedThisPlay_;
      return true;
    }
    ++plays_;
    const int32_t plays = frames_->Plays();
    if (composedThisPlay_ < 2 || (plays != 0 && plays_ >= plays)) return false;
    composedThisPlay_ = 0;
    if (!frames_->Rewind() || !frames_->Next()) return false;
    composedThisPlay_ = 1;
    return true;
  }
  const AnimationFrames& Frames() const { return *frames_; }
  // The profile the frames' colours are in (empty: shown as they are) and the display's.
  const std::vector<uint8_t>& Profile() const { return profile_; }
  const std::vector<uint8_t>& Display() const { return display_; }  // empty: sRGB
  bool Converts() const { return !profile_.empty(); }

 private:
  std::shared_ptr<const FileBytes> bytes_;
  DisplayTarget target_;
  std::vector<uint8_t> profile_;
  std::vector<uint8_t> display_;
  std::unique_ptr<AnimationFrames> frames_;
  bool started_ = false;
  int32_t plays_ = 0;
  int32_t composedThisPlay_ = 0;
};

namespace {

// Frames composed ahead: enough to ride over a short stall of the worker, few enough that a
// large canvas costs only a few copies.
constexpr size_t kRingFrames = 3;
// A frame this close to its time is shown at once: waiting for it would cost a timer period.
constexpr auto kTimerSlack = milliseconds(2);
// Further behind its clock than this, the animation starts its clock again rather than rushing.
constexpr auto kMostBehind = milliseconds(1000);

struct FrameBatch {
  std::vector<std::shared_ptr<AnimationFrame>> frames;
  int32_t leadDelayMs = 0;  // the first frame's delay, with the first batch
  bool ended = false;
};

SIZE PictureArea(HWND viewer) {
  RECT client{};
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  if (control == nullptr || !GetClientRect(control, &client)) return SIZE{};
  return SIZE{client.right - client.left, client.bottom - client.top};
}

// Worker thread: the canvas as a bitmap the renderer draws as it is: in the display's colours
// and premultiplied on the alpha path, as a still picture is.
std::shared_ptr<AnimationFrame> MakeFrame(const AnimationSource& source, RotateRequest turns, bool alpha, SIZE area) {
  const AnimationFrames& frames = source.Frames();
  auto frame = std::make_shared<AnimationFrame>();
  const int32_t width = frames.Width(), height = frames.Height();
  if (!frame->image.Create(width, height, 32, true)) return nullptr;
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = frame->image.TopRow() + static_cast<ptrdiff_t>(y) * frame->image.Pitch();
    std::memcpy(row, frames.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(width), rowBytes);
  }
  if (source.Converts()) ConvertColours(frame->image, source.Profile(), source.Display());
  // A canvas of opaque and clear pixels is premultiplied as it stands, unless converted.
  const bool premultiply = alpha && (!frames.OpaqueOrClear() || source.Converts());
  for (int32_t y = 0; premultiply && y < height; ++y) {
    PremultiplyPixels(frame->image.TopRow() + static_cast<ptrdiff_t>(y) * frame->image.Pitch(), static_cast<size_t>(width));
  }
  frame->image.MarkPixelsChanged();
  if (turns != kTurnNone) {
    RotateImage(frame->image, turns, alpha);
    if (frame->image.IsNull()) return nullptr;
  }
  frame->turns = turns;
  frame->delayMs = frames.DelayMs();
  frame->area = area;
  if (area.cx > 0 && area.cy > 0) {
    const XywhRect fitted = FitImage(frame->image.Width(), frame->image.Height(), area.cx, area.cy);
    if (!MakeFittedCopy(frame->image, fitted.width, fitted.height, alpha, frame->fitted) && !alpha) {
      MakeEnlargedCopy(frame->image, fitted.width, fitted.height, frame->fitted);
    }
  }
  return frame;
}

// The animation's picture is still the one shown, and nothing else is under way for it.
bool StillShown(const Browser& browser) {
  const AnimationState& animation = browser.animation;
  const std::wstring* current = CurrentPath();
  return current != nullptr && *current == animation.path && browser.view.shown.rules.path == animation.path &&
         viewState.loadFailed == 0 && !PictureLoading(browser);
}

void TakeFrames(Browser& browser, uint64_t generation, FrameBatch& batch);

void AskForFrames(Browser& browser) {
  AnimationState& animation = browser.animation;
  if (!animation.playing || animation.ended || animation.task != 0 || animation.ready.size() >= kRingFrames) return;
  const size_t count = kRingFrames - animation.ready.size();
  const RotateRequest turns = browser.view.shown.rules.userTurns;
  const SIZE area = PictureArea(browser.view.viewer);
  const uint64_t generation = animation.generation;
  animation.task = browser.tasks.PostTaskAndReply(
      TaskRunner::Placement::kFirst,
      [source = animation.source, count, turns, alpha = animation.alpha, area](const std::atomic<bool>& cancelled) {
        FrameBatch batch;
        if (!source->Started() && !source->Start(batch.leadDelayMs)) {
          batch.ended = true;
          return batch;
        }
        while (batch.frames.size() < count && !cancelled) {
          if (!source->Next()) {
            batch.ended = true;
            break;
          }
          std::shared_ptr<AnimationFrame> frame = MakeFrame(*source, turns, alpha, area);
          if (!frame) {
            batch.ended = true;
            break;
          }
          batch.frames.push_back(std::move(frame));
        }
        return batch;
      },
      [&browser, generation](FrameBatch& batch) { TakeFrames(browser, generation, batch); });
}

void ScheduleTick(Browser& browser) {
  AnimationState& animation = browser.animation;
  if (!animation.playing || animation.paused || animation.ready.empty() || !animation.dueKnown) {
    animation.timer.Kill();  // set again when frames come
    return;
  }
  // Rounded up: a timer that fires a little early would find the frame not yet due and wait a
  // whole timer period more (the system's shortest is about 10 ms).
  const auto wait = std::chrono::ceil<milliseconds>(animation.due - Clock::now()).count();
  animation.timer.Set(browser.view.viewer, kAnimationTimer, static_cast<UINT>(std::max<int64_t>(wait, 1)));
}

void TakeFrames(Browser& browser, uint64_t generation, FrameBatch& batch) {
  AnimationState& animation = browser.animation;
  if (generation != animation.generation || !animation.playing) return;
  animation.task = 0;
  if (batch.leadDelayMs > 0 && !animation.dueKnown) {
    animation.due = animation.started + milliseconds(batch.leadDelayMs);
    animation.dueKnown = true;
  }
  for (auto& frame : batch.frames) animation.ready.push_back(std::move(frame));
  // A failed task replies with nothing: taken as the end rather than asked again forever.
  if (batch.ended || batch.frames.empty()) animation.ended = true;
  if (animation.ended && animation.ready.empty()) {
    StopAnimation(browser);  // the last frame stays, as browsers leave it
    return;
  }
  ScheduleTick(browser);
}

// The frame becomes the shown picture: same file, same rules, its own copies.
void ShowFrame(Browser& browser, AnimationFrame& frame) {
  PictureView& view = browser.view;
  CancelExactViewJobs(view);  // asked for the frame leaving
  currentImage.Swap(frame.image);
  const SIZE area = PictureArea(view.viewer);
  if (!frame.fitted.image.IsNull() && frame.area.cx == area.cx && frame.area.cy == area.cy) {
    view.shown.fitted.Swap(frame.fitted);
  } else {
    view.shown.fitted.image.Destroy();
  }
  view.shown.levels.levels.clear();  // of another frame
  browser.loader.shownRevision = 0;  // no longer the picture as it was prepared
  Redraw(view);
}

}  // namespace

void WindowTimer::Set(HWND window, UINT_PTR id, UINT ms) {
  if (window_ != nullptr && (window_ != window || id_ != id)) Kill();
  if (SetTimer(window, id, ms, nullptr) != 0) {
    window_ = window;
    id_ = id;
  }
}

void WindowTimer::Kill() {
  if (window_ == nullptr) return;
  KillTimer(window_, id_);
  window_ = nullptr;
}

void StartAnimation(Browser& browser, std::shared_ptr<const FileBytes> bytes) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  StopAnimation(browser);
  if (!bytes || browser.view.viewer == nullptr) return;
  AnimationState& animation = browser.animation;
  animation.playing = true;
  animation.paused = IsIconic(browser.view.viewer) != FALSE;
  animation.path = browser.view.shown.rules.path;
  animation.alpha = browser.view.shown.rules.alphaPath;
  animation.bytes = bytes;
  animation.source = std::make_shared<AnimationSource>(std::move(bytes), browser.loader.shownTarget);
  animation.started = Clock::now();
  AskForFrames(browser);
}

void StopAnimation(Browser& browser) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  AnimationState& animation = browser.animation;
  ++animation.generation;
  animation.timer.Kill();
  if (animation.task != 0) browser.tasks.Cancel(animation.task);
  animation.task = 0;
  animation.ready.clear();
  animation.source.reset();
  animation.bytes.reset();
  animation.playing = false;
  animation.ended = false;
  animation.dueKnown = false;
  animation.path.clear();
}

void AnimationTick(Browser& browser) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  AnimationState& animation = browser.animation;
  animation.timer.Kill();  // set again below for the next frame
  if (!animation.playing || animation.paused) return;
  if (!StillShown(browser)) {
    StopAnimation(browser);
    return;
  }
  if (browser.view.turn.active) {
    // The shown frame is away being turned: the next one waits for it.
    animation.timer.Set(browser.view.viewer, kAnimationTimer, 20);
    return;
  }
  // Frames made before a turn are of no use: made again with the turns the picture has now.
  const RotateRequest turns = browser.view.shown.rules.userTurns;
  while (!animation.ready.empty() && animation.ready.front()->turns != turns) animation.ready.pop_front();
  if (animation.ready.empty() || !animation.dueKnown) {
    AskForFrames(browser);
    return;
  }
  const Clock::time_point now = Clock::now();
  if (now + kTimerSlack < animation.due) {
    ScheduleTick(browser);
    return;
  }
  // Late: frames whose whole time has passed are dropped while a later one is ready.
  while (animation.ready.size() > 1 && now >= animation.due + milliseconds(animation.ready.front()->delayMs)) {
    animation.due += milliseconds(animation.ready.front()->delayMs);
    animation.ready.pop_front();
  }
  std::shared_ptr<AnimationFrame> frame = std::move(animation.ready.front());
  animation.ready.pop_front();
  ShowFrame(browser, *frame);
  animation.due += milliseconds(frame->delayMs);
  if (now - animation.due > kMostBehind) animation.due = now + milliseconds(frame->delayMs);
  if (animation.ended && animation.ready.empty()) {
    StopAnimation(browser);  // the last frame stays
    return;
  }
  AskForFrames(browser);
  ScheduleTick(browser);
}

void PauseAnimation(Browser& browser, bool minimised) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  AnimationState& animation = browser.animation;
  if (!animation.playing || animation.paused == minimised) return;
  animation.paused = minimised;
  if (minimised) {
    animation.timer.Kill();
    return;
  }
  if (animation.dueKnown) animation.due = Clock::now();  // the next frame at once, its clock from now
  AskForFrames(browser);
  ScheduleTick(browser);
}
