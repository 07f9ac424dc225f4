// TIFF's row of the format table: its signature, the size of its first directory (the one the
// decoder shows) and the profile tag of that directory. Decoded by the imaging library.
// Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"

bool IsTiffSignature(const uint8_t* first, size_t count);
void ReadTiffFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
// True when the width and height were found and stored in header.
bool ReadTiffSize(ByteCursor& cursor, PictureHeader& header);
// The InterColorProfile tag (34675) of the first directory; empty for none or a malformed one.
std::vector<uint8_t> ReadTiffProfile(ByteCursor& cursor);
