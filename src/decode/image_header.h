// Reads a picture's format and dimensions from its first bytes, before any decoder sees the
// file. Platform-free; every read is bounds-checked against the source's size and every loop
// is bounded, so a hostile header costs a bounded amount of work and never reads outside.
#pragma once
#include <cstddef>
#include <cstdint>

// Random access to the bytes of one file (or buffer). The reader never needs more than the
// few bytes it asks for, so the whole file is never loaded.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total number of bytes.
  virtual uint64_t Size() const = 0;
  // Copies count bytes starting at offset into buffer. False unless all count bytes were read;
  // the buffer's contents are then unspecified.
  virtual bool ReadAt(uint64_t offset, uint8_t* buffer, size_t count) = 0;
};

// Bytes already in memory, borrowed: the caller keeps them alive while the source is used.
class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override;

 private:
  const uint8_t* bytes_;
  size_t size_;
};

enum class PictureFormat { kUnknown, kJpeg, kPng, kGif, kBmp, kTiff, kJpeg2000, kWebp, kAvif, kHeif, kJxl };

// What a header says. With kUnknown nothing else is meaningful: the signature was not
// recognised, or the header was cut short or contradicts itself before the size was found.
struct PictureHeader {
  PictureFormat format = PictureFormat::kUnknown;
  // The largest extent the decoder could produce: for a GIF the greatest of the logical screen
  // and every frame's right and bottom edge; for a TIFF its first directory.
  uint32_t width = 0;
  uint32_t height = 0;
  // The widest pixel of the decoder's whole-picture buffers: 4 bytes, except for 16-bit colour
  // PNGs, which the PNG decoder holds whole as 48-bit RGB (6) or 64-bit RGBA (8) before
  // converting. 16-bit TIFFs stay at 4: one of 19000 x 19000 decodes where the PNG crashes.
  // JPEG 2000: 4 per component, openjpeg's 32-bit samples of every component.
  uint32_t decodedBytesPerPixel = 4;
};

// Identifies the picture by its signature and reads its dimensions, through the format table
// (format_table.h), which reads the profile and orientation in the same pass. Any thread may call it;
// it touches nothing but the source.
PictureHeader ReadPictureHeader(ByteSource& source);
