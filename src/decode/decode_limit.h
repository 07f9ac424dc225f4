// Which pictures may be handed to the decoder at all, judged from their header alone.
#pragma once
#include <cstdint>

#include "decode/image_header.h"

// The most bytes one decoded picture may take, at the widest pixel the decoder works with.
constexpr uint64_t kMaxDecodedBytes = 0x7FFFFFFF;
// The most pixels at 4 bytes each: 536,870,911.
constexpr uint64_t kMaxDecodedPixels = kMaxDecodedBytes / 4;

// True when a width x height picture whose decoder works in bytesPerPixel-wide pixels (4 is
// assumed for anything narrower) fits within kMaxDecodedBytes. Zero sizes pass: the decoders
// refuse them on their own, without harm. Any thread may call it.
bool SizeFitsDecoder(uint64_t width, uint64_t height, uint32_t bytesPerPixel);

// The same judgement on what a header says. An unknown header passes: the decoder decides, as
// it did before headers were read.
bool HeaderFitsDecoder(const PictureHeader& header);
