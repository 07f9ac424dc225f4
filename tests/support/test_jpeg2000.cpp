#include "support/test_jpeg2000.h"

#include <openjpeg.h>

#include <cstring>

namespace {

struct Output {
  std::vector<uint8_t> bytes;
  uint64_t position = 0;
};

OPJ_SIZE_T WriteBytes(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* out = static_cast<Output*>(user);
  if (out->bytes.size() < out->position + count) out->bytes.resize(out->position + count);
  std::memcpy(out->bytes.data() + out->position, buffer, count);
  out->position += count;
  return count;
}
OPJ_OFF_T SkipBytes(OPJ_OFF_T count, void* user) {
  auto* out = static_cast<Output*>(user);
  out->position += static_cast<uint64_t>(count);
  return count;
}
OPJ_BOOL SeekTo(OPJ_OFF_T offset, void* user) {
  static_cast<Output*>(user)->position = static_cast<uint64_t>(offset);
  return OPJ_TRUE;
}

void Be(std::vector<uint8_t>& b, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Box(std::vector<uint8_t>& b, const char* type, const std::vector<uint8_t>& content) {
  Be(b, static_cast<uint32_t>(content.size() + 8), 4);
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), content.begin(), content.end());
}

// openjpeg's JP2 writer cannot embed a profile (2.5.0 asserts), so such a file is put together
// here around the codestream: signature, file type, header (image header, colour by profile),
// codestream.
std::vector<uint8_t> Jp2WithProfile(const Jpeg2000Options& options, const std::vector<uint8_t>& codestream) {
  std::vector<uint8_t> file = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  Box(file, "ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '});
  std::vector<uint8_t> ihdr, colr = {2, 0, 0}, header;
  Be(ihdr, static_cast<uint32_t>(options.height), 4);
  Be(ihdr, static_cast<uint32_t>(options.width), 4);
  Be(ihdr, static_cast<uint32_t>(options.components), 2);
  ihdr.insert(ihdr.end(), {static_cast<uint8_t>(options.precision - 1), 7, 0, 0});
  colr.insert(colr.end(), options.iccProfile.begin(), options.iccProfile.end());
  Box(header, "ihdr", ihdr);
  Box(header, "colr", colr);
  Box(file, "jp2h", header);
  Box(file, "jp2c", codestream);
  return file;
}

}  // namespace

std::vector<uint8_t> EncodeJpeg2000(const Jpeg2000Options& options,
                                    const std::function<uint32_t(int32_t, int32_t, int32_t)>& sample) {
  std::vector<opj_image_cmptparm_t> parts(static_cast<size_t>(options.components));
  for (opj_image_cmptparm_t& part : parts) {
    std::memset(&part, 0, sizeof part);
    part.dx = part.dy = 1;
    part.w = static_cast<OPJ_UINT32>(options.width);
    part.h = static_cast<OPJ_UINT32>(options.height);
    part.prec = static_cast<OPJ_UINT32>(options.precision);
  }
  const bool colour = options.components >= 3;
  opj_image_t* image = opj_image_create(static_cast<OPJ_UINT32>(options.components), parts.data(),
                                        colour ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
  if (image == nullptr) return {};
  image->x1 = static_cast<OPJ_UINT32>(options.width);
  image->y1 = static_cast<OPJ_UINT32>(options.height);
  for (int32_t c = 0; c < options.components; ++c) {
    opj_image_comp_t& comp = image->comps[c];
    comp.alpha = (options.components == 2 && c == 1) || (options.components == 4 && c == 3);
    for (int32_t y = 0; y < options.height; ++y)
      for (int32_t x = 0; x < options.width; ++x)
        comp.data[static_cast<size_t>(y) * options.width + x] = static_cast<OPJ_INT32>(sample(x, y, c));
  }

  opj_cparameters_t parameters;
  opj_set_default_encoder_parameters(&parameters);
  parameters.tcp_numlayers = 1;
  parameters.tcp_rates[0] = static_cast<float>(options.compressionRatio);  // 0: lossless
  parameters.irreversible = options.compressionRatio > 0;
  parameters.cp_disto_alloc = 1;
  parameters.tcp_mct = colour ? 1 : 0;
  parameters.numresolution = options.compressionRatio > 0 ? 6 : 3;
  if (options.tileSize > 0) {
    parameters.tile_size_on = OPJ_TRUE;
    parameters.cp_tdx = parameters.cp_tdy = options.tileSize;
  }
  const bool wrapped = options.container == Jpeg2000Container::kJp2File && !options.iccProfile.empty();
  const bool jp2 = options.container == Jpeg2000Container::kJp2File && !wrapped;
  opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
  Output out;
  bool ok = codec != nullptr && stream != nullptr && opj_setup_encoder(codec, &parameters, image);
  if (ok) {
    opj_stream_set_user_data(stream, &out, nullptr);
    opj_stream_set_write_function(stream, WriteBytes);
    opj_stream_set_skip_function(stream, SkipBytes);
    opj_stream_set_seek_function(stream, SeekTo);
    ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) && opj_end_compress(codec, stream);
  }
  if (stream != nullptr) opj_stream_destroy(stream);  // flushes what is still buffered
  if (codec != nullptr) opj_destroy_codec(codec);
  opj_image_destroy(image);
  if (!ok) return {};
  return wrapped ? Jp2WithProfile(options, out.bytes) : out.bytes;
}
