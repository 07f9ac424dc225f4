// The imaging library's encoders, for tests and benchmarks that make their pictures at run time.
#pragma once
#include <windows.h>

// The class id of the encoder for mime ("image/png", "image/jpeg", ...); false when there is
// none. The imaging library must have been started.
bool FindImageEncoder(const wchar_t* mime, CLSID& clsid);
