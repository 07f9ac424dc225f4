// libheif.dll (and with it libde265.dll), loaded from the program's folder at the first HEIF decode
// rather than imported: Wine and Windows load every imported DLL before the program's first line,
// which every start would pay for. Both are LGPL and replaceable; a copy that lacks a function we
// call counts as missing.
#pragma once
#include "decode/heif/heif_api.h"

// The table of libheif's functions, loaded at the first call that finds both DLLs and kept until
// the process ends (never unloaded under a decode). Null when either DLL is missing, cannot be
// loaded, or lacks a function: the caller then fails like an undecodable file; the next call
// tries again. Any thread.
const HeifApi* HeifLibrary();
