#include "browse/win32/folder_listing.h"

#include <memory>
#include <optional>
#include <vector>

#include "browse/win32/navigation.h"
#include "browse/win32/picture_loader.h"
#include "framework/baseline_mode.h"
#include "framework/worker_thread.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/command_line.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

namespace {

enum class ListingFor { kStart, kDrop };

// The listing waited for. A newer build of the list makes an older result stale.
struct PendingListing {
  uint64_t id = 0;  // 0 when none waits
  ListingFor purpose = ListingFor::kStart;
  bool interim = false;  // the list holds just the shown file meanwhile
  HWND viewer = nullptr;
  std::wstring folder;
  std::wstring start;
  bool submitted = false;
  WorkerThread::Ticket ticket = 0;
};
PendingListing pending;
uint64_t listingsStarted = 0;

void TakeListing(uint64_t id, std::vector<std::wstring>& list);

void Submit() {
  if (pending.id == 0 || pending.submitted) return;
  pending.submitted = true;
  const uint64_t id = pending.id;
  const HWND viewer = pending.viewer;
  const std::wstring folder = pending.folder;
  const std::wstring start = pending.start;
  pending.ticket = BackgroundWorker().Submit(
      [viewer, id, folder, start](const std::atomic<bool>& cancelled) {
        auto list = std::make_shared<std::vector<std::wstring>>();
        try {
          *list = ListFolder(folder, start, &cancelled);
        } catch (...) {
          list->clear();  // a listing that cannot be held counts as an empty one
        }
        if (cancelled) return;
        ResultMailbox().Post(viewer, WM_WORKER_RESULTS, [id, list] { TakeListing(id, *list); });
      },
      WorkerThread::Placement::kLast);
}

void Begin(HWND viewer, ListingFor purpose, const std::wstring& start, bool interim) {
  AbandonFolderListing();
  pending = PendingListing{};
  pending.id = ++listingsStarted;
  pending.purpose = purpose;
  pending.interim = interim;
  pending.viewer = viewer;
  pending.folder = FolderOf(start);
  pending.start = start;
}

// Window's thread: the listing arrived.
void TakeListing(uint64_t id, std::vector<std::wstring>& list) {
  if (id != pending.id) return;
  const PendingListing done = pending;
  pending = PendingListing{};
  const std::wstring* current = CurrentPath();
  const std::wstring shown = current != nullptr ? *current : std::wstring();
  ImageList = std::move(list);
  FindStartFile();
  if (ImageList.empty()) {
    // The shown file went away meanwhile: as if the folder had been empty from the start.
    if (done.interim && viewState.slideshowRunning == 0) SetWindowTextW(done.viewer, L"Vistrel");
    ShowCurrentPicture(done.viewer, StepDirection::kNone);
    return;
  }
  // A drop that could not show its file at once shows what the new list makes current.
  if (*CurrentPath() != shown || !done.interim) {
    UpdateWindowTitle(done.viewer);
    ShowCurrentPicture(done.viewer, StepDirection::kNone);
    return;
  }
  SchedulePrefetch(done.viewer);
}

// The start argument and its listed path, looked up once: the file system is asked about the
// start file once per start.
struct StartFile {
  std::optional<std::wstring> argument;
  std::optional<std::wstring> listed;
};

const StartFile& TheStartFile() {
  static const StartFile start = [] {
    StartFile s;
    s.argument = StartArgument(GetCommandLineW());
    if (s.argument && !BaselineMode()) s.listed = ListedPathOf(*s.argument);
    return s;
  }();
  return start;
}

}  // namespace

void PrepareStartPictureEarly() {
  if (TheStartFile().listed) PreparePictureEarly(*TheStartFile().listed);
}

void OpenStartFileAhead(HWND viewer) {
  const std::optional<std::wstring>& argument = TheStartFile().argument;
  const std::optional<std::wstring>& listed = TheStartFile().listed;
  if (!listed) {
    OpenStartFile(false, L"");
    return;
  }
  startPath = *argument;
  ImageList.assign(1, *listed);
  currentIndex = 0;
  Begin(viewer, ListingFor::kStart, *argument, true);
}

void StartFolderListing() {
  if (pending.purpose == ListingFor::kStart) Submit();
}

void ListDroppedFileFolder(HWND viewer, const std::wstring& path) {
  startPath = path;
  const std::optional<std::wstring> listed = ListedPathOf(path);
  Begin(viewer, ListingFor::kDrop, path, listed.has_value());
  Submit();
  if (!listed) return;  // the earlier list and picture stay until the listing tells more
  ImageList.assign(1, *listed);
  currentIndex = 0;
  UpdateWindowTitle(viewer);
  ShowCurrentPicture(viewer, StepDirection::kNone);
}

bool FolderListing() { return pending.id != 0; }

void AbandonFolderListing() {
  if (pending.submitted) BackgroundWorker().Cancel(pending.ticket);
  pending = PendingListing{};
}
