// Where a start's time goes: a timestamp for each phase, from process entry to the first picture
// on the screen, reported once when the environment switch VISTREL_PROFILE asks for it ("1":
// standard output; any other value: a file the lines are appended to). Any thread may mark.
#pragma once

enum class StartPhase {
  kProcessEntry,
  kFrameworkReady,   // common controls and the application object
  kImagingStarted,   // the imaging library, when a file needed it
  kWindowCreated,
  kWindowShown,      // placed and shown from the settings
  kFirstPaint,
  kDecodeStart,      // the start file's decode, on the worker
  kDecodeEnd,
  kFirstView,        // a first view, from a reduced decode, on the screen
  kAveragingEnd,     // the fitted copy made
  kFirstBlit,        // the first picture on the screen
  kCount,
};

// Records the time of the phase's first mark; later marks of it are ignored. Lock-free.
void MarkStartPhase(StartPhase phase);
// After the first blit: writes every phase once, in the order above, if the switch is on.
void ReportStartProfile();
