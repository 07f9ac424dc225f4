// What moves between pictures, in one object the viewer owns: the pictures prepared ahead and
// the one awaited, the folder listing awaited, and the start file. It draws through the picture
// view it is given. Window's thread only (checked at every entry of browse/win32).
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/win32/animation.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/file_identity.h"
#include "decode/win32/image_decode.h"
#include "framework/task_runner.h"
#include "view/win32/picture_view.h"

enum class StepDirection { kNone, kForward, kBackward };

// A picture as the render with reuse 0 would leave it: decoded, turned upright from its EXIF
// orientation, premultiplied when it is drawn with alpha, with its area-averaged copy for the
// fitted view, and the rules it was decoded under. A failure is delivered too (decoded false),
// so that the window never waits for a picture that will not come; it is never kept.
struct PreparedPicture {
  std::wstring path;
  FileIdentity identity;  // of the bytes decoded
  DisplayTarget target;   // the colours it was converted to
  bool decoded = false;
  CImage image;
  PictureRules rules;
  FittedCopy fitted;
  ZoomReductions reductions;
  std::shared_ptr<const FileBytes> animation;  // an animation's bytes, for its later frames
};

class StartWindow;

// Why a preparation was asked for.
enum class PreparationFor {
  kShow,       // the shown entry, awaited
  kNeighbour,  // prepared ahead
  kRefresh,    // the shown picture again, in another display's colours, its turns kept
};

// A preparation asked of the worker and not yet back.
struct PendingPreparation {
  uint64_t serial = 0;
  TaskRunner::TaskId task = 0;
  std::wstring path;
  uint64_t bytes = 0;  // what its picture will probably take
  PreparationFor purpose = PreparationFor::kNeighbour;
};

// The start file's preparation, asked for before the window existed.
struct EarlyPreparation {
  std::wstring path;
  uint64_t serial = 0;
  TaskRunner::TaskId task = 0;
  std::shared_ptr<StartWindow> window;
};

struct LoaderState {
  std::vector<std::shared_ptr<PreparedPicture>> prepared;  // for neighbours of the shown entry
  std::vector<PendingPreparation> inFlight;                // asked of the worker, not yet back
  // Neighbours whose preparation failed: not asked for again ahead (that would go round for as
  // long as the file stays unreadable), but decoded again when stepped onto.
  std::vector<std::wstring> failedAhead;
  std::wstring waitingFor;                                 // the shown entry's path while it decodes
  ULONGLONG waitingSince = 0;  // GetTickCount64 when it was asked for
  bool awaitedOnScreen = false;  // its first view is shown meanwhile
  uint64_t serials = 0;
  std::optional<EarlyPreparation> early;  // until the window is given to it
  StepDirection direction = StepDirection::kForward;
  // Of the shown picture, as it was prepared: whether it may go back among the prepared ones.
  FileIdentity shownIdentity;
  DisplayTarget shownTarget;
  uint64_t shownRevision = 0;  // 0 when it is no longer as prepared (turned, failed)
  std::shared_ptr<const FileBytes> shownAnimation;  // an animation's bytes, kept with it
  TaskRunner::TaskId checkTask = 0;  // the shown file's identity checked on the worker
  // The profile the window's monitor names, asked of the system once per monitor (and again
  // when the displays change), not at every step.
  HMONITOR targetMonitor = nullptr;
  DisplayTarget target;
};

enum class ListingFor { kStart, kDrop };

// The listing waited for. A newer build of the list makes an older result stale.
struct PendingListing {
  uint64_t id = 0;  // 0 when none waits
  ListingFor purpose = ListingFor::kStart;
  bool interim = false;  // the list holds just the shown file meanwhile
  std::wstring folder;
  std::wstring start;
  bool submitted = false;
  TaskRunner::TaskId task = 0;
};

struct ListingState {
  PendingListing pending;
  uint64_t started = 0;
};

// The start argument and its listed path, looked up once, before the window exists.
struct StartFile {
  bool read = false;
  std::optional<std::wstring> argument;
  std::optional<std::wstring> listed;
};

class Browser {
 public:
  explicit Browser(PictureView& view);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  PictureView& view;
  TaskRunner& tasks;
  LoaderState loader;
  ListingState listing;
  StartFile start;
  AnimationState animation;
};

// True while a listing is awaited. Input that needs the list waits meanwhile, so nothing else
// rebuilds or steps through the list before it is complete.
inline bool FolderListing(const Browser& browser) { return browser.listing.pending.id != 0; }
