// The header readers that walk blocks to find the size (JPEG markers, GIF blocks, TIFF
// directory entries). Each is given a cursor over a source whose signature already matched;
// true when width and height were found and stored in header.
#pragma once
#include "decode/byte_cursor.h"
#include "decode/image_header.h"

bool ReadJpegSize(ByteCursor& cursor, PictureHeader& header);
bool ReadGifSize(ByteCursor& cursor, PictureHeader& header);
bool ReadTiffSize(ByteCursor& cursor, PictureHeader& header);
