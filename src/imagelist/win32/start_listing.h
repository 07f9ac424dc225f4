// The start file shown before its folder is listed. When the start file's listed path can be
// known at once, the list holds just that file until the worker has listed and sorted the
// folder; the full list then takes its place, with the position and title the listing gives.
// Window's thread only.
#pragma once
#include <windows.h>

// Builds the list from the command line as OpenStartFile does, or starts it ahead as above.
void OpenStartFileAhead(HWND viewer);
// Hands the folder to the worker, behind the start file's decode, once the first paint has
// asked for that; nothing when no listing waits.
void StartFolderListing();
// True from OpenStartFileAhead until the full list is in place. Input waits meanwhile, so
// nothing else rebuilds or steps through the list before it is complete.
bool FolderListing();
