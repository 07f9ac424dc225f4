#include "decode/win32/picture_header_check.h"

#include <windows.h>

#include "decode/decode_limit.h"
#include "decode/win32/file_byte_source.h"

PictureHeader ReadFileHeader(const std::wstring& path) {
  FileByteSource source(path);
  if (!source.IsOpen()) return PictureHeader{};
  return ReadPictureHeader(source);
}

bool PictureTooLargeToDecode(const std::wstring& path) { return !HeaderFitsDecoder(ReadFileHeader(path)); }
