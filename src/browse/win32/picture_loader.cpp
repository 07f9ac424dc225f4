#include "browse/win32/picture_loader.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "decode/win32/file_identity.h"
#include "browse/win32/folder_listing.h"
#include "browse/win32/loader_probe.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/image_decode.h"
#include "decode/win32/picture_header_check.h"
#include "framework/baseline_mode.h"
#include "framework/start_profile.h"
#include "framework/worker_thread.h"
#include "imagelist/image_rules.h"
#include "imagelist/long_path.h"
#include "imagelist/win32/image_list.h"
#include "picture/orientation.h"
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

namespace {

// A picture as the render with reuse 0 would leave it: decoded, turned upright from its EXIF
// orientation, premultiplied when it is drawn with alpha, with its area-averaged copy for the
// fitted view. A failed decode is kept too, so that stepping onto it is as quick and ends as
// it would (loadFailed, the frame kept).
struct PreparedPicture {
  std::wstring path;
  FileIdentity identity;  // read before the decode
  bool decoded = false;
  CImage image;
  RotateRequest exifTurn = kTurnNone;
  bool alphaPrepared = false;
  FittedCopy fitted;
  ZoomReductions reductions;
};

// The picture area a picture is prepared for.
struct AreaSize {
  int32_t width = 0;
  int32_t height = 0;
};

AreaSize PictureArea(HWND viewer) {
  RECT client{};
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  if (control == nullptr || !GetClientRect(control, &client)) return AreaSize{};
  return AreaSize{client.right - client.left, client.bottom - client.top};
}

// Worker thread: everything here works on the picture's own images only.
// The picture decoded, turned upright and premultiplied, without its fitted copy yet.
std::unique_ptr<PreparedPicture> DecodePicture(const std::wstring& path, const DisplayTarget& target,
                                               const std::atomic<bool>& cancelled) {
  auto picture = std::make_unique<PreparedPicture>();
  picture->path = path;
  MarkStartPhase(StartPhase::kDecodeStart);
  DecodeFacts facts;
  const bool decoded = DecodeFile(path, target, picture->image, facts, &cancelled);
  picture->identity = facts.identity;
  if (!decoded || cancelled) return picture;
  MarkStartPhase(StartPhase::kDecodeEnd);
  if (facts.orientationFound) picture->exifTurn = TurnForOrientation(facts.exifOrientation);
  RotateImage(picture->image, picture->exifTurn, false);
  if (picture->image.IsNull()) return picture;  // a turn that could not be finished fails it
  picture->decoded = true;
  const bool alpha = TakesAlphaPath(path);
  if (alpha) {
    PremultiplyBitmap(picture->image.Handle());
    picture->alphaPrepared = true;
  }
  return picture;
}

// Whether a prepared picture gets its halving levels for zoomed views: the start picture goes
// without them, so that nothing delays the first picture (its zoomed views average the full-size
// picture's visible part instead).
enum class ZoomLevels { kMake, kSkip };

// Adds the fitted copy for a picture area of that size, and the levels when asked.
void FitPicture(PreparedPicture& picture, AreaSize area, const std::atomic<bool>& cancelled, ZoomLevels levels) {
  if (!picture.decoded || cancelled || area.width <= 0 || area.height <= 0) return;
  const bool alpha = TakesAlphaPath(picture.path);
  const XywhRect fitted = FitImage(picture.image.Width(), picture.image.Height(), area.width, area.height);
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

// The picture as `work` prepares it. The result is made before the work, so that a failure (out
// of memory on the way) is still delivered, as a failed decode, and the window never waits for
// a picture that will not come.
template <class Work>
std::shared_ptr<std::unique_ptr<PreparedPicture>> PreparedOrFailed(const std::wstring& path, Work work) {
  auto picture = std::make_shared<std::unique_ptr<PreparedPicture>>(std::make_unique<PreparedPicture>());
  (*picture)->path = path;
  try {
    work(*picture);
  } catch (...) {
    (*picture)->image.Destroy();
    (*picture)->decoded = false;
  }
  return picture;
}

// The window the start file's early preparation waits for, given by the window's thread once the
// window is placed and sized; before that, the picture area it is expected to get, so that the
// fitted copy can be made while the window is still being placed.
class StartWindow {
 public:
  void Predict(AreaSize area) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      predicted_ = area;
      havePrediction_ = true;
    }
    givenSignal_.notify_all();
  }
  void Give(HWND viewer, AreaSize area) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      viewer_ = viewer;
      area_ = area;
      given_ = true;
    }
    givenSignal_.notify_all();
  }
  // Worker thread: waits for the predicted area or the real one, whichever comes first; false
  // when the preparation was cancelled first.
  bool WaitForAnArea(const std::atomic<bool>& cancelled, AreaSize& area) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!given_ && !havePrediction_) {
      if (cancelled) return false;
      givenSignal_.wait_for(lock, std::chrono::milliseconds(20));
    }
    area = given_ ? area_ : predicted_;
    return !cancelled;
  }
  // Worker thread: false when the preparation was cancelled first.
  bool Wait(const std::atomic<bool>& cancelled, HWND& viewer, AreaSize& area) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!given_) {
      if (cancelled) return false;
      givenSignal_.wait_for(lock, std::chrono::milliseconds(20));
    }
    viewer = viewer_;
    area = area_;
    return !cancelled;
  }

 private:
  std::mutex mutex_;
  std::condition_variable givenSignal_;
  HWND viewer_ = nullptr;
  AreaSize area_;
  AreaSize predicted_;
  bool given_ = false;
  bool havePrediction_ = false;
};

// A preparation asked of the worker and not yet back.
struct PendingPreparation {
  uint64_t serial;
  WorkerThread::Ticket ticket;
  std::wstring path;
  uint64_t bytes;  // what its picture will probably take
};

// Window's thread only.
// The start file's preparation, submitted before the window existed; window's thread only.
struct EarlyPreparation {
  std::wstring path;
  uint64_t serial = 0;
  WorkerThread::Ticket ticket = 0;
  std::shared_ptr<StartWindow> window;
};

struct LoaderState {
  std::vector<std::unique_ptr<PreparedPicture>> prepared;  // for neighbours of the shown entry
  std::vector<PendingPreparation> inFlight;                               // asked of the worker, not yet back
  std::wstring waitingFor;                                 // the shown entry's path while it decodes
  uint64_t jobSerials = 0;
  std::optional<EarlyPreparation> early;  // until the window is given to it
  StepDirection direction = StepDirection::kForward;
  // What the picture in currentImage was prepared from, while it is as prepared (no turn since).
  std::wstring shownPath;
  FileIdentity shownIdentity;
  bool shownDecoded = false;
  uint64_t shownRevision = 0;
  bool shownAlphaPrepared = false;
  RotateRequest shownTurn = kTurnNone;
  DisplayTarget displayTarget;  // the colours the last pictures asked for are converted to
};
LoaderState state;

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

void DropUnwanted() {
  const std::vector<std::wstring> wanted = WantedPaths();
  auto& prepared = state.prepared;
  prepared.erase(std::remove_if(prepared.begin(), prepared.end(),
                                [&](const auto& p) { return !Contains(wanted, p->path); }),
                 prepared.end());
  for (auto it = state.inFlight.begin(); it != state.inFlight.end();) {
    if (Contains(wanted, it->path)) {
      ++it;
    } else {
      BackgroundWorker().Cancel(it->ticket);
      it = state.inFlight.erase(it);
    }
  }
}

// The picture now in currentImage, as it was prepared, goes back among the prepared ones when
// it neighbours the entry about to be shown; a turned picture no longer is what its file gives.
void KeepShownPictureIfWanted() {
  if (state.shownPath.empty()) return;
  const bool untouched = state.shownDecoded ? !currentImage.IsNull() && currentImage.Revision() == state.shownRevision
                                            : currentImage.IsNull();
  if (untouched && Contains(WantedPaths(), state.shownPath) && state.prepared.size() < kMostPrepared) {
    auto kept = std::make_unique<PreparedPicture>();
    kept->path = state.shownPath;
    kept->identity = state.shownIdentity;
    kept->decoded = state.shownDecoded;
    kept->image.Swap(currentImage);
    kept->exifTurn = state.shownTurn;
    kept->alphaPrepared = state.shownAlphaPrepared;
    kept->fitted.Swap(CurrentFittedCopy());
    kept->reductions.Swap(CurrentZoomReductions());
    state.prepared.push_back(std::move(kept));
  }
  state.shownPath.clear();
}

// The picture becomes currentImage and is drawn, as the end of a render with reuse 0 would.
void Adopt(HWND viewer, std::unique_ptr<PreparedPicture> picture) {
  CancelExactViewJobs();  // asked for the picture leaving
  KeepShownPictureIfWanted();
  currentImage.Destroy();
  state.shownPath = picture->path;
  state.shownIdentity = picture->identity;
  state.shownDecoded = picture->decoded;
  state.shownTurn = picture->exifTurn;
  state.shownAlphaPrepared = picture->alphaPrepared;
  if (!picture->decoded) {
    viewState.loadFailed = 1;  // nothing is drawn; the frame keeps what it showed
    state.shownRevision = 0;
    StartFolderListing();
    return;
  }
  currentImage.Swap(picture->image);
  CurrentFittedCopy().Swap(picture->fitted);
  CurrentZoomReductions().Swap(picture->reductions);
  state.shownRevision = currentImage.Revision();
  viewState.loadFailed = 0;
  viewState.alphaPrepared = picture->alphaPrepared ? 1 : 0;
  if (picture->exifTurn != kTurnNone) viewState.zoom = 1.0f;  // as the turn itself stores
  Redraw(viewer);
  StartFolderListing();  // the start folder's listing waits for the first picture
  if (CurrentZoomReductions().levels.empty()) {
    // The start picture comes without levels so as not to be delayed by them; they follow once
    // its neighbours are prepared (or at once, should the user zoom first).
    const AreaSize area = PictureArea(viewer);
    const bool withAlpha = TakesAlphaPath(state.shownPath) && currentImage.HasAlpha();
    const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), area.width, area.height);
    RequestCurrentLevels(viewer, fitted.width, fitted.height, withAlpha, LevelsUrgency::kAfterNeighbours);
  }
}

void TakePreparedPicture(HWND viewer, uint64_t serial, std::unique_ptr<PreparedPicture> picture);

uint64_t ImageBytes(const CImage& image) {
  return image.IsNull() ? 0 : static_cast<uint64_t>(image.Height()) * static_cast<uint64_t>(std::abs(image.Pitch()));
}

// What the picture of a file will take, judged from its header at the widest pixel (a guess from
// the shown picture's size when the header says nothing), with its fitted copy.
uint64_t EstimatedPictureBytes(const std::wstring& path) {
  const PictureHeader header = ReadFileHeader(path);
  if (header.format == PictureFormat::kUnknown) return ImageBytes(currentImage);
  return static_cast<uint64_t>(header.width) * header.height * 4;
}

void Submit(HWND viewer, const std::wstring& path, WorkerThread::Placement placement, uint64_t bytes) {
  // The worker converts colours to the profile of the monitor the window is on now.
  state.displayTarget = DisplayTargetOf(viewer);
  const DisplayTarget target = state.displayTarget;
  const uint64_t serial = ++state.jobSerials;
  const AreaSize area = PictureArea(viewer);
  const WorkerThread::Ticket ticket = BackgroundWorker().Submit(
      [viewer, serial, path, area, target](const std::atomic<bool>& cancelled) {
        auto picture = PreparedOrFailed(path, [&](std::unique_ptr<PreparedPicture>& result) {
          result = DecodePicture(path, target, cancelled);
          FitPicture(*result, area, cancelled, ZoomLevels::kMake);
        });
        if (cancelled) return;
        ResultMailbox().Post(viewer, WM_WORKER_RESULTS,
                             [viewer, serial, picture] { TakePreparedPicture(viewer, serial, std::move(*picture)); });
      },
      placement);
  state.inFlight.push_back(PendingPreparation{serial, ticket, path, bytes});
}

void TakePreparedPicture(HWND viewer, uint64_t serial, std::unique_ptr<PreparedPicture> picture) {
  auto job = std::find_if(state.inFlight.begin(), state.inFlight.end(), [&](const PendingPreparation& j) { return j.serial == serial; });
  if (job == state.inFlight.end()) return;  // abandoned meanwhile
  state.inFlight.erase(job);
  const std::wstring* shown = CurrentPath();
  if (picture->path == state.waitingFor && (shown == nullptr || *shown != picture->path)) state.waitingFor.clear();
  if (picture->path == state.waitingFor) {
    if (ReadFileIdentity(picture->path) != picture->identity) {
      Submit(viewer, picture->path, WorkerThread::Placement::kFirst, 0);  // changed while it decoded
      return;
    }
    state.waitingFor.clear();
    Adopt(viewer, std::move(picture));
    SchedulePrefetch(viewer);
    return;
  }
  if (Contains(WantedPaths(), picture->path) && state.prepared.size() < kMostPrepared) {
    state.prepared.push_back(std::move(picture));
  }
  SchedulePrefetch(viewer);
}

// The prepared picture for path, when its file has not changed since; any other is dropped.
std::unique_ptr<PreparedPicture> TakePrepared(const std::wstring& path) {
  auto it = std::find_if(state.prepared.begin(), state.prepared.end(), [&](const auto& p) { return p->path == path; });
  if (it == state.prepared.end()) return nullptr;
  std::unique_ptr<PreparedPicture> picture = std::move(*it);
  state.prepared.erase(it);
  if (ReadFileIdentity(path) != picture->identity) return nullptr;
  return picture;
}

// No more than a quarter of the machine's memory goes to pictures: the shown one, those prepared
// or being prepared, and the one about to be asked for.
bool FitsMemoryBudget(uint64_t moreBytes) {
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof(memory);
  if (!GlobalMemoryStatusEx(&memory)) return false;
  uint64_t bytes = moreBytes + ImageBytes(currentImage) + CurrentZoomReductions().Bytes();
  for (const auto& p : state.prepared) bytes += ImageBytes(p->image) + p->reductions.Bytes();
  for (const PendingPreparation& job : state.inFlight) bytes += job.bytes;
  return bytes <= memory.ullTotalPhys / 4;
}

}  // namespace

void ShowCurrentPicture(HWND viewer, StepDirection direction) {
  if (BaselineMode()) {
    Render(viewer, 0, kTurnNone);
    return;
  }
  AbandonTurn();  // the picture it turns is no longer the one to show
  if (direction != StepDirection::kNone) state.direction = direction;
  state.waitingFor.clear();
  const std::wstring* path = CurrentPath();
  if (path == nullptr) {
    // Nothing to decode: an empty list paints the background, an index outside the list fails.
    ForgetPreparedPictures();
    Render(viewer, 0, kTurnNone);
    return;
  }
  DropUnwanted();
  if (std::unique_ptr<PreparedPicture> picture = TakePrepared(*path)) {
    Adopt(viewer, std::move(picture));
    SchedulePrefetch(viewer);
    return;
  }
  if (!state.shownPath.empty() && state.shownPath == *path) {
    // Shown again (a list of one): as prepared it is still what its file gives, unless changed.
    KeepShownPictureIfWanted();
    if (std::unique_ptr<PreparedPicture> picture = TakePrepared(*path)) {
      Adopt(viewer, std::move(picture));
      SchedulePrefetch(viewer);
      return;
    }
  }
  state.waitingFor = *path;
  auto job = std::find_if(state.inFlight.begin(), state.inFlight.end(), [&](const PendingPreparation& j) { return j.path == *path; });
  if (job != state.inFlight.end()) {
    BackgroundWorker().PutFirst(job->ticket);  // already asked for as a neighbour
    return;
  }
  Submit(viewer, *path, WorkerThread::Placement::kFirst, 0);
}

// Only the shown entry's picture counts: a wait for a path no longer shown (the list changed
// under it without a new request) must never hold input back.
bool PictureLoading() {
  if (state.waitingFor.empty()) return false;
  const std::wstring* shown = CurrentPath();
  return shown != nullptr && *shown == state.waitingFor;
}

bool PreparingAhead() { return !state.inFlight.empty(); }

void SchedulePrefetch(HWND viewer) {
  if (BaselineMode() || FolderListing() || PictureLoading() || ImageList.size() < 2) return;
  const size_t n = ImageList.size();
  const int32_t ahead = NextIndex(currentIndex, n);
  const int32_t behind = PreviousIndex(currentIndex, n);
  const bool backward = state.direction == StepDirection::kBackward;
  for (int32_t index : {backward ? behind : ahead, backward ? ahead : behind}) {
    if (index < 0 || static_cast<size_t>(index) >= n || index == currentIndex) continue;
    const std::wstring& path = ImageList[static_cast<size_t>(index)];
    const bool known =
        std::any_of(state.prepared.begin(), state.prepared.end(), [&](const auto& p) { return p->path == path; }) ||
        std::any_of(state.inFlight.begin(), state.inFlight.end(), [&](const PendingPreparation& j) { return j.path == path; });
    if (known) continue;
    if (state.prepared.size() + state.inFlight.size() >= kMostPrepared) return;
    const uint64_t bytes = EstimatedPictureBytes(path);
    if (!FitsMemoryBudget(bytes)) continue;
    Submit(viewer, path, WorkerThread::Placement::kLast, bytes);
  }
}

void PreparePictureEarly(const std::wstring& path) {
  if (BaselineMode() || state.early) return;
  EarlyPreparation early{path, ++state.jobSerials, 0, std::make_shared<StartWindow>()};
  const uint64_t serial = early.serial;
  std::shared_ptr<StartWindow> window = early.window;
  // No window yet: the start picture takes the primary monitor's colours, where it opens (the
  // profile file is read on the worker, beside the window's creation rather than before it).
  state.displayTarget = DisplayTargetOf(nullptr);
  const DisplayTarget target = state.displayTarget;
  early.ticket = BackgroundWorker().Submit(
      [serial, path, window, target](const std::atomic<bool>& cancelled) {
        auto picture = PreparedOrFailed(path, [&](std::unique_ptr<PreparedPicture>& result) {
          result = DecodePicture(path, target, cancelled);
        });
        HWND viewer = nullptr;
        AreaSize fittedFor, area;
        if (!window->WaitForAnArea(cancelled, fittedFor)) return;
        const auto fit = [&](AreaSize size) {
          try {
            FitPicture(**picture, size, cancelled, ZoomLevels::kSkip);
          } catch (...) {
            (*picture)->fitted.image.Destroy();  // drawn without it, as when none can be made
          }
        };
        fit(fittedFor);
        if (!window->Wait(cancelled, viewer, area)) return;
        if (area.width != fittedFor.width || area.height != fittedFor.height) fit(area);  // a wrong guess
        if (cancelled) return;
        ResultMailbox().Post(viewer, WM_WORKER_RESULTS,
                             [viewer, serial, picture] { TakePreparedPicture(viewer, serial, std::move(*picture)); });
      },
      WorkerThread::Placement::kFirst);
  state.early = std::move(early);
}

void FollowDisplayProfile(HWND viewer, DisplayCheck) {
  // Whatever the check, the profile the monitor names now is compared with the one the pictures
  // were converted to (a name only: the file is read on the worker, and read again there when it
  // changed).
  if (BaselineMode() || DisplayTargetOf(viewer) == state.displayTarget || state.shownPath.empty()) return;
  ForgetPreparedPictures();
  ShowCurrentPicture(viewer, StepDirection::kNone);
}

void PredictStartPictureArea(int32_t width, int32_t height) {
  if (state.early) state.early->window->Predict(AreaSize{width, height});
}

void GiveStartPictureItsWindow(HWND viewer, int32_t width, int32_t height) {
  if (!state.early) return;
  // From now on it is one of the preparations asked for: the first paint finds it prepared or
  // waits for it like any other.
  state.inFlight.push_back(PendingPreparation{state.early->serial, state.early->ticket, state.early->path, 0});
  state.early->window->Give(viewer, AreaSize{width, height});
  state.early.reset();
}

void ForgetPreparedPictures() {
  if (state.early) {
    BackgroundWorker().Cancel(state.early->ticket);
    state.early.reset();
  }
  for (const PendingPreparation& job : state.inFlight) BackgroundWorker().Cancel(job.ticket);
  state.inFlight.clear();
  state.prepared.clear();
  state.waitingFor.clear();
  state.shownPath.clear();
  AbandonTurn();
  CurrentFittedCopy().image.Destroy();
  CurrentZoomReductions().levels.clear();
}
