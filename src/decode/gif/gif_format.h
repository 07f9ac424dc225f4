// GIF's row of the format table: its signature and its size (the decoder allocates the largest
// of the logical screen and every frame's extent). Decoded by the imaging library. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"

bool IsGifSignature(const uint8_t* first, size_t count);
void ReadGifFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
// True when the width and height were found and stored in header.
bool ReadGifSize(ByteCursor& cursor, PictureHeader& header);
