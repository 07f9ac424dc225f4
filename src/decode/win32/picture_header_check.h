// The header check run before the imaging library is asked to decode a file.
#pragma once
#include <string>

#include "decode/image_header.h"

// Reads the header of the file at path (opened for reading, shared with readers and deleters,
// closed before returning). Unknown when the file cannot be opened or its header not read.
// Any thread may call it.
PictureHeader ReadFileHeader(const std::wstring& path);

// True when the file's header names a picture too large for the decoder to handle safely.
// False when it fits, and when the header cannot be read (the decoder then decides).
bool PictureTooLargeToDecode(const std::wstring& path);
