#include "imagelist/win32/start_listing.h"

#include <memory>
#include <string>
#include <vector>

#include "framework/worker_thread.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/command_line.h"
#include "imagelist/win32/image_list.h"
#include "imagelist/win32/navigation.h"
#include "view/win32/baseline_mode.h"
#include "view/win32/picture_loader.h"

namespace {

// The listing waited for; 0 when none. A newer build of the list makes an older result stale.
uint64_t pendingListing = 0;
uint64_t listingsStarted = 0;
uint64_t listingSubmitted = 0;
HWND listingViewer = nullptr;

// Window's thread: the listing arrived.
void TakeListing(HWND viewer, uint64_t listing, std::vector<std::wstring>& list) {
  if (listing != pendingListing) return;
  pendingListing = 0;
  const std::wstring shown = ImageList.empty() ? std::wstring() : ImageList.front();
  ImageList = std::move(list);
  FindStartFile();
  if (ImageList.empty()) {
    // The start file went away meanwhile: as if the folder had been empty from the start.
    SetWindowTextW(viewer, L"Vistrel");
    ShowCurrentPicture(viewer, StepDirection::kNone);
    return;
  }
  if (*CurrentPath() != shown) {
    UpdateWindowTitle(viewer);
    ShowCurrentPicture(viewer, StepDirection::kNone);
    return;
  }
  SchedulePrefetch(viewer);
}

}  // namespace

void OpenStartFileAhead(HWND viewer) {
  std::optional<std::wstring> argument = StartArgument(GetCommandLineW());
  std::optional<std::wstring> listed;
  if (argument && !BaselineMode()) listed = ListedPathOf(*argument);
  if (!listed) {
    OpenStartFile(false, L"");
    return;
  }
  startPath = *argument;
  ImageList.assign(1, *listed);
  currentIndex = 0;
  pendingListing = ++listingsStarted;
  listingViewer = viewer;
}

void StartFolderListing() {
  if (pendingListing == 0 || listingSubmitted == pendingListing) return;
  listingSubmitted = pendingListing;
  const HWND viewer = listingViewer;
  const uint64_t listing = pendingListing;
  const std::wstring folder = FolderOf(startPath);
  const std::wstring start = startPath;
  BackgroundWorker().Submit(
      [viewer, listing, folder, start](const std::atomic<bool>& cancelled) {
        auto list = std::make_shared<std::vector<std::wstring>>(ListFolder(folder, start));
        if (cancelled) return;
        ResultMailbox().Post(viewer, WM_WORKER_RESULTS, [viewer, listing, list] { TakeListing(viewer, listing, *list); });
      },
      WorkerThread::Placement::kLast);
}

bool FolderListing() { return pendingListing != 0; }
