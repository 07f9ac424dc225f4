#include "browse/win32/folder_listing.h"

#include <memory>
#include <optional>
#include <vector>

#include "browse/win32/window_title.h"
#include "browse/win32/picture_loader.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/command_line.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

namespace {

void TakeListing(Browser& browser, uint64_t id, std::vector<std::wstring>& list);

void Submit(Browser& browser) {
  PendingListing& pending = browser.listing.pending;
  if (pending.id == 0 || pending.submitted) return;
  pending.submitted = true;
  const uint64_t id = pending.id;
  const std::wstring folder = pending.folder;
  const std::wstring start = pending.start;
  pending.task = browser.tasks.PostTaskAndReply(
      TaskRunner::Placement::kLast,
      [folder, start](const std::atomic<bool>& cancelled) {
        // A listing that cannot be held counts as an empty one (the reply gets an empty list).
        return ListFolder(folder, start, &cancelled);
      },
      [&browser, id](std::vector<std::wstring>& list) { TakeListing(browser, id, list); });
}

void Begin(Browser& browser, ListingFor purpose, const std::wstring& folder, const std::wstring& start, bool interim) {
  AbandonFolderListing(browser);
  PendingListing& pending = browser.listing.pending;
  pending = PendingListing{};
  pending.id = ++browser.listing.started;
  pending.purpose = purpose;
  pending.interim = interim;
  pending.folder = folder;
  pending.start = start;
}

// Window's thread: the listing arrived.
void TakeListing(Browser& browser, uint64_t id, std::vector<std::wstring>& list) {
  PendingListing& pending = browser.listing.pending;
  if (id != pending.id) return;
  const PendingListing done = pending;
  pending = PendingListing{};
  HWND viewer = browser.view.viewer;
  const std::wstring* current = CurrentPath();
  const std::wstring shown = current != nullptr ? *current : std::wstring();
  ImageList = std::move(list);
  FindStartFile();
  if (ImageList.empty()) {
    // The shown file went away meanwhile: as if the folder had been empty from the start.
    if (done.interim && viewState.slideshowRunning == 0) SetWindowTextW(viewer, L"Vistrel");
    ShowCurrentPicture(browser, StepDirection::kNone);
    return;
  }
  // A drop that could not show its file at once shows what the new list makes current.
  if (*CurrentPath() != shown || !done.interim) {
    UpdateWindowTitle(viewer);
    ShowCurrentPicture(browser, StepDirection::kNone);
    return;
  }
  SchedulePrefetch(browser);
}

// The dropped file's listed path arrived from the worker: the file is shown at once, in a list
// of its own, until its folder's listing replaces it.
void TakeDroppedPath(Browser& browser, uint64_t id, std::optional<std::wstring>& listed) {
  PendingListing& pending = browser.listing.pending;
  if (id != pending.id) return;
  pending.interim = listed.has_value();
  Submit(browser);
  if (!listed) return;  // the earlier list and picture stay until the listing tells more
  ImageList.assign(1, *listed);
  currentIndex = 0;
  UpdateWindowTitle(browser.view.viewer);
  ShowCurrentPicture(browser, StepDirection::kNone);
}

const StartFile& TheStartFile(Browser& browser) {
  StartFile& start = browser.start;
  if (!start.read) {
    start.read = true;
    start.argument = StartArgument(GetCommandLineW());
    if (start.argument) start.listed = ListedPathOf(*start.argument);
  }
  return start;
}

}  // namespace

void PrepareStartPictureEarly(Browser& browser, HMONITOR opensOn) {
  if (TheStartFile(browser).listed) PreparePictureEarly(browser, *TheStartFile(browser).listed, opensOn);
}

void OpenStartFileAhead(Browser& browser) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  const StartFile& start = TheStartFile(browser);
  if (!start.listed) {
    // A folder, a file not found, no argument: the list is empty until the worker has listed the
    // folder (input that needs it waits), then shows what the listing makes current.
    startPath = start.argument ? *start.argument : std::wstring(kNoStartPath);
    ImageList.clear();
    currentIndex = 0;
    Begin(browser, ListingFor::kStart, start.argument ? FolderOf(*start.argument) : ProgramFolder(), startPath,
          false);
    Submit(browser);
    return;
  }
  startPath = *start.argument;
  ImageList.assign(1, *start.listed);
  currentIndex = 0;
  Begin(browser, ListingFor::kStart, FolderOf(*start.argument), *start.argument, true);
}

void StartFolderListing(Browser& browser) {
  if (browser.listing.pending.purpose == ListingFor::kStart) Submit(browser);
}

void ListDroppedFileFolder(Browser& browser, const std::wstring& path) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  startPath = path;
  Begin(browser, ListingFor::kDrop, FolderOf(path), path, false);
  PendingListing& pending = browser.listing.pending;
  const uint64_t id = pending.id;
  // Input that needs the list waits from now on (a listing is awaited); the file system is asked
  // about the dropped file on the worker, before anything else waiting there.
  pending.task = browser.tasks.PostTaskAndReply(
      TaskRunner::Placement::kFirst, [path](const std::atomic<bool>&) { return ListedPathOf(path); },
      [&browser, id](std::optional<std::wstring>& listed) { TakeDroppedPath(browser, id, listed); });
}

void AbandonFolderListing(Browser& browser) {
  PendingListing& pending = browser.listing.pending;
  browser.tasks.Cancel(pending.task);
  pending = PendingListing{};
}
