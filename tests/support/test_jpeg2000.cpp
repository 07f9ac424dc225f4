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
  parameters.tcp_rates[0] = 0;  // lossless
  parameters.cp_disto_alloc = 1;
  parameters.tcp_mct = colour ? 1 : 0;
  parameters.numresolution = 3;
  if (options.tileSize > 0) {
    parameters.tile_size_on = OPJ_TRUE;
    parameters.cp_tdx = parameters.cp_tdy = options.tileSize;
  }
  const bool jp2 = options.container == Jpeg2000Container::kJp2File;
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
  return ok ? out.bytes : std::vector<uint8_t>{};
}
