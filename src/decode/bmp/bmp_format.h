// BMP's row of the format table: its signature and its size. BMPs carry no profile the viewer
// reads. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"

bool IsBmpSignature(const uint8_t* first, size_t count);
void ReadBmpFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
