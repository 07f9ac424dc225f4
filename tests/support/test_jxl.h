// JPEG XL headers written bit by bit, for the size reader's tests and the viewer's hostile files: a
// codestream's signature, size header and image metadata (all libjxl reads before its basic info),
// and container boxes around it. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct JxlHeaderOptions {
  uint32_t width = 64, height = 48;
  uint32_t orientation = 1;
  bool small = true;  // the short form where the size allows it (else always 9 to 30 bits)
  bool ratio = true;  // the width as a ratio of the height where one gives it exactly
};
std::vector<uint8_t> MakeJxlCodestreamHeader(const JxlHeaderOptions& options);

// Signature box, ftyp, an Exif box, then one jxlc box (no cuts) or jxlp boxes cut at the given
// offsets; longLengths writes every length as 64 bits.
std::vector<uint8_t> InJxlContainer(const std::vector<uint8_t>& codestream, const std::vector<size_t>& cuts,
                                    bool longLengths);
