// Listing a folder on the worker while the viewer goes on: the start file's folder at start-up
// and the folder of a dropped file. When the shown file's listed path can be known at once, the
// list holds just that file (shown at once) until the worker has listed and sorted the folder;
// the full list then takes its place, with the position and title the listing gives.
// Window's thread only.
#pragma once
#include <windows.h>

#include <string>

// Before the window exists: when the start file's listed path is known at once, its picture
// starts decoding on the worker (the picture loader adopts it at the first paint).
void PrepareStartPictureEarly();
// Builds the list from the command line as OpenStartFile does, or starts it ahead as above.
void OpenStartFileAhead(HWND viewer);
// Hands the start folder to the worker once the first paint has asked for that and the start
// picture is shown (or failed); nothing when no listing waits or it is already on its way.
void StartFolderListing();
// Lists the folder of a dropped file on the worker, as a drop rebuilds the list: the dropped
// file is shown when it is listed, else the earlier position is kept inside the new list.
void ListDroppedFileFolder(HWND viewer, const std::wstring& path);
// True while a listing is awaited. Input that needs the list waits meanwhile, so nothing else
// rebuilds or steps through the list before it is complete.
bool FolderListing();
// The window is going: a listing still running is abandoned.
void AbandonFolderListing();
