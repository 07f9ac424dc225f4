// JPEG 2000's row of the format table. The header reader: the size of a JP2 file (its image header box, else the codestream
// it holds) or of a bare codestream (its SIZ marker segment). Bounded like the other walks.
#pragma once
#include "decode/byte_cursor.h"
#include "decode/image_header.h"
#include "decode/format_table.h"

// The 12-byte signature box every JP2 file (and JPX, JPM, MJ2 file) starts with.
bool StartsLikeJp2File(ByteCursor& cursor);
// SOC followed by SIZ: a bare codestream (.j2k, .j2c).
bool StartsLikeCodestream(ByteCursor& cursor);

// Each given a cursor whose source's signature matched; true when the width and height were found
// and stored in header. decodedBytesPerPixel becomes 4 per component: openjpeg holds every sample
// of every component as 32 bits for the whole picture.
bool ReadJp2FileSize(ByteCursor& cursor, PictureHeader& header);
bool ReadCodestreamSize(ByteCursor& cursor, uint64_t start, PictureHeader& header);

bool IsJpeg2000Signature(const uint8_t* first, size_t count);
void ReadJpeg2000Facts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
