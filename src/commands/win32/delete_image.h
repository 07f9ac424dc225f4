// Deleting the shown file for good, after one confirmation.
#pragma once
#include "commands/win32/commands.h"
#include <windows.h>

// Asks, deletes, takes the entry out of the list and shows the picture that followed it, with
// the zoom and pan then in force. A file that stays on disk keeps its entry and its picture,
// and a message box owned by the viewer says why. Window's thread only.
void DeleteCurrentImage(Commands& commands);
