// PNG's row of the format table: its signature, its size (IHDR) and its profile (iCCP, inflated).
// Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"

bool IsPngSignature(const uint8_t* first, size_t count);
void ReadPngFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
// The iCCP chunk before the image data, inflated. Empty when there is none, when it is
// malformed, or when it inflates to more than kMaxProfileBytes.
std::vector<uint8_t> ReadPngProfile(ByteCursor& cursor);
