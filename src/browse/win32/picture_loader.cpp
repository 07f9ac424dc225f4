#include "browse/win32/picture_loader.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "browse/win32/first_view.h"
#include "framework/start_profile.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/image_list.h"
#include "picture/orientation.h"
#include "picture/quarter_turn.h"
#include "picture/win32/dib_image.h"
#include "picture/win32/image_edits.h"
#include "resource.h"
#include "view/alpha_path.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/background_turn.h"
#include "view/win32/exact_view.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/render.h"
#include "view/win32/zoom_reductions.h"

// The window the start file's early preparation waits for, given by the window's thread once the
// window is placed and sized; before that, the picture area it is expected to get, so that the
// fitted copy can be made while the window is still being placed. Waits are woken by a signal:
// the area given, or the preparation abandoned.
class StartWindow {
 public:
  void Predict(int32_t width, int32_t height) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      predicted_ = {width, height};
      havePrediction_ = true;
    }
    changed_.notify_all();
  }
  void Give(int32_t width, int32_t height) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      given_ = {width, height};
      haveGiven_ = true;
    }
    changed_.notify_all();
  }
  void Abandon() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      abandoned_ = true;
    }
    changed_.notify_all();
  }
  // Worker thread: the predicted area or the real one, whichever comes first; false when the
  // preparation was abandoned first.
  bool WaitForAnArea(SIZE& area) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return abandoned_ || haveGiven_ || havePrediction_; });
    area = haveGiven_ ? given_ : predicted_;
    return !abandoned_;
  }
  // Worker thread: the real area; false when the preparation was abandoned first.
  bool WaitForTheArea(SIZE& area) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return abandoned_ || haveGiven_; });
    area = given_;
    return !abandoned_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  SIZE given_{};
  SIZE predicted_{};
  bool haveGiven_ = false;
  bool havePrediction_ = false;
  bool abandoned_ = false;
};

Browser::Browser(PictureView& view) : view(view), tasks(view.tasks) {}
Browser::~Browser() {
  if (loader.early) loader.early->window->Abandon();
}

namespace {

SIZE PictureArea(HWND viewer) {
  RECT client{};
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  if (control == nullptr || !GetClientRect(control, &client)) return SIZE{};
  return SIZE{client.right - client.left, client.bottom - client.top};
}

// Worker thread: everything here works on the picture's own images only. The picture decoded
// from one read of its file, turned upright and then by `turns`, premultiplied, without its
// fitted copy yet.
void DecodePicture(PreparedPicture& picture, RotateRequest turns, const std::atomic<bool>& cancelled,
                   BesideDecode* firstView = nullptr) {
  MarkStartPhase(StartPhase::kDecodeStart);
  DecodeFacts facts;
  const bool decoded = DecodeFile(picture.path, picture.target, picture.image, facts, &cancelled, firstView);
  picture.identity = facts.identity;
  if (!decoded || cancelled) return;
  picture.animation = std::move(facts.animation);
  MarkStartPhase(StartPhase::kDecodeEnd);
  PictureRules& rules = picture.rules;
  rules.exifTurn = facts.orientationFound ? TurnForOrientation(facts.exifOrientation) : kTurnNone;
  rules.userTurns = turns;
  const RotateRequest turn = ComposeTurns(rules.exifTurn, turns);
  if (turn != kTurnNone) RotateImage(picture.image, turn, false);
  if (picture.image.IsNull()) return;  // a turn that could not be finished fails it
  picture.decoded = true;
  rules.alphaPath = TakesAlphaPath(picture.path, facts.format, picture.image.HasAlpha());
  if (rules.alphaPath) {
    PremultiplyBitmap(picture.image.Handle());
    rules.premultiplied = true;
  }
}

// Whether a prepared picture gets its halving levels for zoomed views: the start picture goes
// without them, so that nothing delays the first picture.
enum class ZoomLevels { kMake, kSkip };

// Adds the fitted copy for a picture area of that size, and the levels when asked.
void FitPicture(PreparedPicture& picture, SIZE area, const std::atomic<bool>& cancelled, ZoomLevels levels) {
  if (!picture.decoded || cancelled || area.cx <= 0 || area.cy <= 0) return;
  const bool alpha = picture.rules.alphaPath;
  const XywhRect fitted = FitImage(picture.image.Width(), picture.image.Height(), area.cx, area.cy);
  if (!MakeFittedCopy(picture.image, fitted.width, fitted.height, alpha && picture.image.HasAlpha(), picture.fitted) &&
      !alpha) {
    MakeEnlargedCopy(picture.image, fitted.width, fitted.height, picture.fitted);
  }
  MarkStartPhase(StartPhase::kAveragingEnd);
  if (levels == ZoomLevels::kMake && !cancelled) {
    MakeZoomReductions(picture.image, fitted.width, fitted.height, alpha && picture.image.HasAlpha(),
                       picture.reductions);
  }
}

// The picture as `work` prepares it; should the work fail on the way (out of memory), what it
// delivers is a failure, never a half-made picture.
template <class Work>
std::shared_ptr<PreparedPicture> PreparedOrFailed(const std::wstring& path, const DisplayTarget& target, Work work) {
  auto picture = std::make_shared<PreparedPicture>();
  picture->path = path;
  picture->target = target;
  try {
    work(*picture);
  } catch (...) {
    picture->image.Destroy();
    picture->decoded = false;
  }
  return picture;
}

constexpr size_t kMostPrepared = 2;

// The paths worth keeping prepared: the shown entry and its two neighbours.
std::vector<std::wstring> WantedPaths() {
  std::vector<std::wstring> wanted;
  if (ImageList.empty() || CurrentPath() == nullptr) return wanted;
  wanted.push_back(*CurrentPath());
  const size_t n = ImageList.size();
  for (int32_t index : {NextIndex(currentIndex, n), PreviousIndex(currentIndex, n)}) {
    if (index >= 0 && static_cast<size_t>(index) < n) wanted.push_back(ImageList[static_cast<size_t>(index)]);
  }
  return wanted;
}

bool Contains(const std::vector<std::wstring>& paths, const std::wstring& path) {
  return std::find(paths.begin(), paths.end(), path) != paths.end();
}

void DropUnwanted(Browser& browser) {
  const std::vector<std::wstring> wanted = WantedPaths();
  LoaderState& state = browser.loader;
  auto& prepared = state.prepared;
  prepared.erase(std::remove_if(prepared.begin(), prepared.end(),
                                [&](const auto& p) { return !Contains(wanted, p->path); }),
                 prepared.end());
  auto& failed = state.failedAhead;
  failed.erase(std::remove_if(failed.begin(), failed.end(), [&](const auto& p) { return !Contains(wanted, p); }),
               failed.end());
  for (auto it = state.inFlight.begin(); it != state.inFlight.end();) {
    if (Contains(wanted, it->path)) {
      ++it;
    } else {
      browser.tasks.Cancel(it->task);
      it = state.inFlight.erase(it);
    }
  }
}

// The shown picture goes back among the prepared ones when it neighbours the entry about to be
// shown and is still what its file gave (decoded, not turned since); a failure never does.
void KeepShownPictureIfWanted(Browser& browser) {
  LoaderState& state = browser.loader;
  ShownPicture& shown = browser.view.shown;
  const bool asPrepared = state.shownRevision != 0 && !currentImage.IsNull() &&
                          currentImage.Revision() == state.shownRevision && !browser.view.turn.active;
  if (asPrepared && Contains(WantedPaths(), shown.rules.path) && state.prepared.size() < kMostPrepared) {
    auto kept = std::make_shared<PreparedPicture>();
    kept->path = shown.rules.path;
    kept->identity = state.shownIdentity;
    kept->target = state.shownTarget;
    kept->decoded = true;
    kept->image.Swap(currentImage);
    kept->rules = shown.rules;
    kept->fitted.Swap(shown.fitted);
    kept->reductions.Swap(shown.levels);
    kept->animation = state.shownAnimation;
    state.prepared.push_back(std::move(kept));
  }
  state.shownRevision = 0;
}

void CheckShownFile(Browser& browser);

// Whether the adopted picture keeps the view's zoom: a refresh in other colours does; a picture
// that replaces another starts as the render with reuse 0 leaves it.
enum class Adoption { kReplace, kRefresh };

// The picture becomes the shown one (currentImage with its rules and copies) and is drawn.
void Adopt(Browser& browser, std::shared_ptr<PreparedPicture> picture, Adoption adoption) {
  PictureView& view = browser.view;
  LoaderState& state = browser.loader;
  AbandonTurn(view);             // it turns the picture leaving
  CancelExactViewJobs(view);     // asked for the picture leaving
  if (adoption == Adoption::kReplace) KeepShownPictureIfWanted(browser);
  StopAnimation(browser);  // nothing of the picture leaving is drawn after it
  state.shownAnimation.reset();
  currentImage.Destroy();
  ShownPicture& shown = view.shown;
  shown.present = true;
  shown.fitted.image.Destroy();
  shown.levels.levels.clear();
  shown.rules = picture->rules;
  shown.rules.path = picture->path;
  state.shownIdentity = picture->identity;
  state.shownTarget = picture->target;
  state.shownRevision = 0;
  if (!picture->decoded) {
    viewState.loadFailed = 1;  // nothing is drawn; the frame keeps what it showed
    return;
  }
  currentImage.Swap(picture->image);
  shown.fitted.Swap(picture->fitted);
  shown.levels.Swap(picture->reductions);
  state.shownRevision = shown.rules.userTurns == kTurnNone ? currentImage.Revision() : 0;
  viewState.loadFailed = 0;
  viewState.alphaPrepared = shown.rules.premultiplied ? 1 : 0;
  if (adoption == Adoption::kReplace && shown.rules.exifTurn != kTurnNone) viewState.zoom = 1.0f;
  Redraw(view);
  if (picture->animation) {
    // The first frame is on the screen; the others follow from the worker.
    state.shownAnimation = picture->animation;
    StartAnimation(browser, picture->animation);
    return;  // levels of one frame are of no use to the next
  }
  if (shown.levels.levels.empty()) {
    // The start picture comes without levels so as not to be delayed by them; they follow once
    // its neighbours are prepared (or at once, should the user zoom first).
    const SIZE area = PictureArea(view.viewer);
    const bool withAlpha = shown.rules.alphaPath && currentImage.HasAlpha();
    const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), area.cx, area.cy);
    RequestCurrentLevels(view, fitted.width, fitted.height, withAlpha, LevelsUrgency::kAfterNeighbours);
  }
}

void TakePreparedPicture(Browser& browser, uint64_t serial, std::shared_ptr<PreparedPicture>& picture);

// The colours pictures are converted to now: the profile the window's monitor names.
const DisplayTarget& CurrentTarget(Browser& browser) {
  LoaderState& state = browser.loader;
  const HMONITOR monitor = MonitorFromWindow(browser.view.viewer, MONITOR_DEFAULTTONEAREST);
  if (monitor != state.targetMonitor || monitor == nullptr) {
    state.targetMonitor = monitor;
    state.target = DisplayTargetOf(browser.view.viewer);
  }
  return state.target;
}

// Window's thread: a first view is shown while its picture is still the one awaited (or the
// start's), in the list's current entry and not shown itself yet.
void TakeFirstView(Browser& browser, const FirstViewPicture& view) {
  LoaderState& state = browser.loader;
  const bool asked = (state.early && state.early->serial == view.serial) ||
                     std::any_of(state.inFlight.begin(), state.inFlight.end(),
                                 [&](const PendingPreparation& j) { return j.serial == view.serial; });
  const std::wstring* current = CurrentPath();
  if (!asked || current == nullptr || *current != view.path) return;
  if (!currentImage.IsNull() && browser.view.shown.rules.path == view.path) return;  // the picture came first
  ShowFirstView(browser.view, view.fitted, view.pictureWidth, view.pictureHeight);
  if (state.waitingFor == view.path) state.awaitedOnScreen = true;
}

FirstViewBeside::Taker FirstViewTaker(Browser& browser) {
  return [&browser](std::shared_ptr<FirstViewPicture>& view) {
    if (view) TakeFirstView(browser, *view);
  };
}

uint64_t ImageBytes(const CImage& image) {
  return image.IsNull() ? 0 : static_cast<uint64_t>(image.Height()) * static_cast<uint64_t>(std::abs(image.Pitch()));
}

void Submit(Browser& browser, const std::wstring& path, TaskRunner::Placement placement, uint64_t bytes,
            PreparationFor purpose, RotateRequest turns = kTurnNone) {
  LoaderState& state = browser.loader;
  const uint64_t serial = ++state.serials;
  const SIZE area = PictureArea(browser.view.viewer);
  // The colours of the monitor the window is on now (its profile's name; the file is read on
  // the worker).
  const DisplayTarget target = CurrentTarget(browser);
  // A picture the user waits for gets a first view while it decodes; one prepared ahead does not
  // (nobody is looking, and its decode should have both cores).
  const bool withFirstView = purpose == PreparationFor::kShow;
  const TaskRunner::TaskId task = browser.tasks.PostTaskAndReply(
      placement,
      [path, area, target, turns, withFirstView, serial, replies = browser.tasks.EarlyRepliesToWindow(),
       take = FirstViewTaker(browser)](const std::atomic<bool>& cancelled) {
        return PreparedOrFailed(path, target, [&](PreparedPicture& result) {
          FirstViewBeside firstView(path, serial, [area](SIZE& known) { known = area; return true; }, replies, take);
          DecodePicture(result, turns, cancelled, withFirstView ? &firstView : nullptr);
          FitPicture(result, area, cancelled, ZoomLevels::kMake);
        });
      },
      [&browser, serial](std::shared_ptr<PreparedPicture>& picture) { TakePreparedPicture(browser, serial, picture); });
  state.inFlight.push_back(PendingPreparation{serial, task, path, bytes, purpose});
}

// A refresh is put in place only while the shown picture is the one it was asked for, with the
// same turns; turned meanwhile, it is asked for again with the new ones.
void TakeRefresh(Browser& browser, std::shared_ptr<PreparedPicture> picture) {
  const ShownPicture& shown = browser.view.shown;
  const std::wstring* current = CurrentPath();
  if (current == nullptr || *current != picture->path || shown.rules.path != picture->path ||
      PictureLoading(browser)) {
    return;  // another picture is shown or on its way
  }
  if (!picture->decoded) return;  // the picture shown stays, in the colours it has
  // The user's turns count those still on their way on the worker too: a refresh with all of
  // them replaces the turn in flight.
  if (picture->rules.userTurns != shown.rules.userTurns) {
    Submit(browser, picture->path, TaskRunner::Placement::kFirst, 0, PreparationFor::kRefresh,
           shown.rules.userTurns);
    return;
  }
  Adopt(browser, std::move(picture), Adoption::kRefresh);
}

void TakePreparedPicture(Browser& browser, uint64_t serial, std::shared_ptr<PreparedPicture>& delivered) {
  LoaderState& state = browser.loader;
  auto job = std::find_if(state.inFlight.begin(), state.inFlight.end(),
                          [&](const PendingPreparation& j) { return j.serial == serial; });
  if (job == state.inFlight.end() || !delivered) return;  // abandoned meanwhile
  const PreparationFor purpose = job->purpose;
  state.inFlight.erase(job);
  std::shared_ptr<PreparedPicture> picture = std::move(delivered);
  if (purpose == PreparationFor::kRefresh) {
    TakeRefresh(browser, std::move(picture));
    SchedulePrefetch(browser);
    return;
  }
  const std::wstring* shown = CurrentPath();
  if (picture->path == state.waitingFor && (shown == nullptr || *shown != picture->path)) state.waitingFor.clear();
  if (picture->path == state.waitingFor) {
    state.waitingFor.clear();
    Adopt(browser, std::move(picture), Adoption::kReplace);
    SchedulePrefetch(browser);
    return;
  }
  // Only pictures that decoded are kept: stepping onto a file whose preparation failed decodes
  // it again (another program may have let go of it since).
  if (!picture->decoded) {
    if (!Contains(state.failedAhead, picture->path)) state.failedAhead.push_back(picture->path);
  } else if (Contains(WantedPaths(), picture->path) && state.prepared.size() < kMostPrepared) {
    state.prepared.push_back(std::move(picture));
  }
  SchedulePrefetch(browser);
}

// The prepared picture for path, when it was made in the colours the window needs now.
std::shared_ptr<PreparedPicture> TakePrepared(Browser& browser, const std::wstring& path) {
  LoaderState& state = browser.loader;
  auto it = std::find_if(state.prepared.begin(), state.prepared.end(), [&](const auto& p) { return p->path == path; });
  if (it == state.prepared.end()) return nullptr;
  std::shared_ptr<PreparedPicture> picture = std::move(*it);
  state.prepared.erase(it);
  if (picture->target != CurrentTarget(browser)) return nullptr;
  return picture;
}

// After a prepared picture is shown at once: its file is checked on the worker, and should it
// have changed since it was read (written, replaced, deleted), it is shown again from the file.
void CheckShownFile(Browser& browser) {
  LoaderState& state = browser.loader;
  browser.tasks.Cancel(state.checkTask);
  const std::wstring path = browser.view.shown.rules.path;
  const FileIdentity identity = state.shownIdentity;
  const uint64_t revision = currentImage.Revision();
  state.checkTask = browser.tasks.PostTaskAndReply(
      TaskRunner::Placement::kFirst, [path](const std::atomic<bool>&) { return ReadFileIdentity(path); },
      [&browser, path, identity, revision](FileIdentity& now) {
        browser.loader.checkTask = 0;
        const std::wstring* current = CurrentPath();
        if (now == identity || current == nullptr || *current != path || browser.view.shown.rules.path != path ||
            PictureLoading(browser) || currentImage.Revision() != revision) {
          return;
        }
        browser.loader.waitingFor = path;  // changed: decoded afresh, the frame kept meanwhile
        browser.loader.awaitedOnScreen = true;  // its earlier state is on the screen
        Submit(browser, path, TaskRunner::Placement::kFirst, 0, PreparationFor::kShow);
      });
}

// No more than a quarter of the machine's memory goes to pictures: the shown one, those prepared
// or being prepared, and the one about to be asked for.
bool FitsMemoryBudget(const Browser& browser, uint64_t moreBytes) {
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof(memory);
  if (!GlobalMemoryStatusEx(&memory)) return false;
  uint64_t bytes = moreBytes + ImageBytes(currentImage) + browser.view.shown.levels.Bytes();
  for (const auto& p : browser.loader.prepared) bytes += ImageBytes(p->image) + p->reductions.Bytes();
  for (const PendingPreparation& job : browser.loader.inFlight) bytes += job.bytes;
  return bytes <= memory.ullTotalPhys / 4;
}

}  // namespace

void ShowCurrentPicture(Browser& browser, StepDirection direction) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  LoaderState& state = browser.loader;
  if (direction != StepDirection::kNone) state.direction = direction;
  state.waitingFor.clear();
  const std::wstring* path = CurrentPath();
  // A step stops the animation at once; shown again, the picture starts it again when adopted.
  if (path == nullptr || *path != browser.animation.path) StopAnimation(browser);
  if (path == nullptr) {
    // Nothing to decode: an empty list paints the background, an index outside the list fails.
    ForgetPreparedPictures(browser);
    Render(browser.view, 0, kTurnNone);
    return;
  }
  DropUnwanted(browser);
  auto& failed = state.failedAhead;
  failed.erase(std::remove(failed.begin(), failed.end(), *path), failed.end());  // tried again now
  if (std::shared_ptr<PreparedPicture> picture = TakePrepared(browser, *path)) {
    Adopt(browser, std::move(picture), Adoption::kReplace);
    CheckShownFile(browser);
    SchedulePrefetch(browser);
    return;
  }
  if (browser.view.shown.rules.path == *path) {
    // Shown again (a list of one): as prepared it is still what its file gives, unless changed.
    KeepShownPictureIfWanted(browser);
    if (std::shared_ptr<PreparedPicture> picture = TakePrepared(browser, *path)) {
      Adopt(browser, std::move(picture), Adoption::kReplace);
      CheckShownFile(browser);
      SchedulePrefetch(browser);
      return;
    }
  }
  state.waitingFor = *path;
  state.waitingSince = GetTickCount64();
  state.awaitedOnScreen = false;
  auto job = std::find_if(state.inFlight.begin(), state.inFlight.end(), [&](const PendingPreparation& j) {
    return j.path == *path && j.purpose != PreparationFor::kRefresh;
  });
  if (job != state.inFlight.end()) {
    browser.tasks.PutFirst(job->task);  // already asked for as a neighbour
    job->purpose = PreparationFor::kShow;
    return;
  }
  Submit(browser, *path, TaskRunner::Placement::kFirst, 0, PreparationFor::kShow);
}

// Only the shown entry's picture counts: a wait for a path no longer shown (the list changed
// under it without a new request) must never hold input back.
bool PictureLoading(const Browser& browser) {
  const std::wstring& waiting = browser.loader.waitingFor;
  if (waiting.empty()) return false;
  const std::wstring* shown = CurrentPath();
  return shown != nullptr && *shown == waiting;
}

bool AwaitedPictureWorthWaitingFor(const Browser& browser) {
  const LoaderState& state = browser.loader;
  return PictureLoading(browser) && !state.awaitedOnScreen &&
         GetTickCount64() - state.waitingSince < kAwaitedWorthWaitingMs;
}

bool PreparingAhead(const Browser& browser) {
  return std::any_of(browser.loader.inFlight.begin(), browser.loader.inFlight.end(),
                     [](const PendingPreparation& j) { return j.purpose == PreparationFor::kNeighbour; });
}

void SchedulePrefetch(Browser& browser) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  LoaderState& state = browser.loader;
  if (FolderListing(browser) || PictureLoading(browser) || ImageList.size() < 2) return;
  const size_t n = ImageList.size();
  const int32_t ahead = NextIndex(currentIndex, n);
  const int32_t behind = PreviousIndex(currentIndex, n);
  const bool backward = state.direction == StepDirection::kBackward;
  for (int32_t index : {backward ? behind : ahead, backward ? ahead : behind}) {
    if (index < 0 || static_cast<size_t>(index) >= n || index == currentIndex) continue;
    const std::wstring& path = ImageList[static_cast<size_t>(index)];
    const bool known =
        std::any_of(state.prepared.begin(), state.prepared.end(), [&](const auto& p) { return p->path == path; }) ||
        std::any_of(state.inFlight.begin(), state.inFlight.end(), [&](const PendingPreparation& j) { return j.path == path; }) ||
        Contains(state.failedAhead, path);
    if (known) continue;
    if (state.prepared.size() + state.inFlight.size() >= kMostPrepared) return;
    // Judged from the shown picture's size: the neighbour's own header is read on the worker.
    const uint64_t bytes = ImageBytes(currentImage);
    if (!FitsMemoryBudget(browser, bytes)) continue;
    Submit(browser, path, TaskRunner::Placement::kLast, bytes, PreparationFor::kNeighbour);
  }
}

void PreparePictureEarly(Browser& browser, const std::wstring& path, HMONITOR opensOn) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  LoaderState& state = browser.loader;
  if (state.early) return;
  EarlyPreparation early{path, ++state.serials, 0, std::make_shared<StartWindow>()};
  const uint64_t serial = early.serial;
  std::shared_ptr<StartWindow> window = early.window;
  early.task = browser.tasks.PostTaskAndReply(
      TaskRunner::Placement::kFirst,
      [path, window, opensOn, serial, replies = browser.tasks.EarlyRepliesToWindow(),
       take = FirstViewTaker(browser)](const std::atomic<bool>& cancelled) -> std::shared_ptr<PreparedPicture> {
        // No window yet: the start picture takes the colours of the monitor it will open on (the
        // profile's name asked here, beside the window's creation rather than before it).
        auto picture = PreparedOrFailed(path, DisplayTargetOfMonitor(opensOn), [&](PreparedPicture& result) {
          FirstViewBeside firstView(path, serial, [window](SIZE& area) { return window->WaitForAnArea(area); },
                                    replies, take);
          DecodePicture(result, kTurnNone, cancelled, &firstView);
        });
        SIZE fittedFor{}, area{};
        if (!window->WaitForAnArea(fittedFor)) return nullptr;
        const auto fit = [&](SIZE size) {
          try {
            FitPicture(*picture, size, cancelled, ZoomLevels::kSkip);
          } catch (...) {
            picture->fitted.image.Destroy();  // drawn without it, as when none can be made
          }
        };
        fit(fittedFor);
        if (!window->WaitForTheArea(area)) return nullptr;
        if (area.cx != fittedFor.cx || area.cy != fittedFor.cy) fit(area);  // a wrong guess
        return picture;
      },
      [&browser, serial](std::shared_ptr<PreparedPicture>& picture) { TakePreparedPicture(browser, serial, picture); });
  state.early = std::move(early);
}

void FollowDisplayProfile(Browser& browser, DisplayCheck check) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  LoaderState& state = browser.loader;
  if (check == DisplayCheck::kAlways) state.targetMonitor = nullptr;  // asked of the system again
  const ShownPicture& shown = browser.view.shown;
  if (!shown.present || shown.rules.path.empty() || state.early) return;
  if (CurrentTarget(browser) == state.shownTarget) return;
  // Prepared in the former colours: none of them may be shown now.
  for (const PendingPreparation& job : state.inFlight) browser.tasks.Cancel(job.task);
  state.inFlight.clear();
  state.prepared.clear();
  const std::wstring* current = CurrentPath();
  if (current == nullptr || *current != shown.rules.path || PictureLoading(browser)) {
    if (PictureLoading(browser)) ShowCurrentPicture(browser, StepDirection::kNone);  // asked again
    return;
  }
  state.shownTarget = CurrentTarget(browser);  // asked for once
  Submit(browser, shown.rules.path, TaskRunner::Placement::kFirst, 0, PreparationFor::kRefresh,
         shown.rules.userTurns);
}

void PredictStartPictureArea(Browser& browser, int32_t width, int32_t height) {
  if (browser.loader.early) browser.loader.early->window->Predict(width, height);
}

void GiveStartPictureItsWindow(Browser& browser, int32_t width, int32_t height) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  LoaderState& state = browser.loader;
  if (!state.early) return;
  // From now on it is one of the preparations asked for: the first paint finds it prepared or
  // waits for it like any other.
  state.inFlight.push_back(
      PendingPreparation{state.early->serial, state.early->task, state.early->path, 0, PreparationFor::kNeighbour});
  state.early->window->Give(width, height);
  state.early.reset();
}

void ForgetPreparedPictures(Browser& browser) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  LoaderState& state = browser.loader;
  if (state.early) {
    state.early->window->Abandon();
    browser.tasks.Cancel(state.early->task);
    state.early.reset();
  }
  for (const PendingPreparation& job : state.inFlight) browser.tasks.Cancel(job.task);
  state.inFlight.clear();
  state.prepared.clear();
  state.failedAhead.clear();
  state.waitingFor.clear();
  browser.tasks.Cancel(state.checkTask);
  state.checkTask = 0;
  state.shownRevision = 0;  // the shown picture stays, but no longer goes back among the prepared
  StopAnimation(browser);   // as a still
}
