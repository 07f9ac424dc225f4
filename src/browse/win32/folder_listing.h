// Listing a folder on the worker while the viewer goes on: the start file's folder at start-up
// and the folder of a dropped file. When the shown file's listed path can be known at once, the
// list holds just that file (shown at once) until the worker has listed and sorted the folder;
// the full list then takes its place, with the position and title the listing gives.
// Window's thread only (checked); the listing state is the browser's.
#pragma once
#include <windows.h>

#include <string>

#include "browse/win32/browser.h"

// Before the window exists: reads the start argument and, when the start file's listed path is
// known at once, starts decoding its picture on the worker (the picture loader adopts it at the
// first paint). The one look at the file system from the window's thread, made before there is
// a window to keep responsive.
void PrepareStartPictureEarly(Browser& browser, HMONITOR opensOn);
// Builds the list from the command line as OpenStartFile does, or starts it ahead as above.
void OpenStartFileAhead(Browser& browser);
// Hands the start folder to the worker once the first paint has asked for that and the start
// picture is shown (or failed); nothing when no listing waits or it is already on its way.
void StartFolderListing(Browser& browser);
// Lists the folder of a dropped file on the worker, as a drop rebuilds the list: the dropped
// file is shown as soon as the worker has found its listed path (the earlier list and picture
// stay until then), else the earlier position is kept inside the new list.
void ListDroppedFileFolder(Browser& browser, const std::wstring& path);
// The window is going: a listing still running is abandoned.
void AbandonFolderListing(Browser& browser);
