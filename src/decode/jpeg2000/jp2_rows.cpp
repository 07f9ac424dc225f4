#include "decode/jpeg2000/jp2_rows.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>

// openjpeg's objects for one picture, released together.
struct Jp2Session {
  ByteSource* source = nullptr;  // borrowed from the decoder's owner
  const std::atomic<bool>* cancel = nullptr;
  uint64_t position = 0;
  bool cancelled = false;
  opj_stream_t* stream = nullptr;
  opj_codec_t* codec = nullptr;
  opj_image_t* image = nullptr;

  ~Jp2Session() {
    if (image != nullptr) opj_image_destroy(image);
    if (codec != nullptr) opj_destroy_codec(codec);
    if (stream != nullptr) opj_stream_destroy(stream);
  }
};

namespace {

constexpr uint8_t kJp2Signature[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
constexpr uint8_t kCodestreamStart[4] = {0xFF, 0x4F, 0xFF, 0x51};
constexpr OPJ_SIZE_T kStreamBufferBytes = 1 << 16;
constexpr OPJ_SIZE_T kStreamFailed = static_cast<OPJ_SIZE_T>(-1);

// The stream callbacks run on the decoding thread, inside openjpeg's calls.
OPJ_SIZE_T ReadBytes(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* session = static_cast<Jp2Session*>(user);
  // Failing the read is the only way into openjpeg's loops: it then gives up on the picture.
  if (session->cancel != nullptr && session->cancel->load(std::memory_order_relaxed)) {
    session->cancelled = true;
    return kStreamFailed;
  }
  const uint64_t left = session->source->Size() - session->position;
  if (left == 0) return kStreamFailed;
  const size_t take = static_cast<size_t>(std::min<uint64_t>(left, count));
  if (!session->source->ReadAt(session->position, static_cast<uint8_t*>(buffer), take)) return kStreamFailed;
  session->position += take;
  return take;
}

OPJ_OFF_T SkipBytes(OPJ_OFF_T count, void* user) {
  auto* session = static_cast<Jp2Session*>(user);
  const uint64_t size = session->source->Size();
  if (count < 0) {
    const uint64_t back = static_cast<uint64_t>(-(count + 1)) + 1;
    if (back > session->position) return -1;
    session->position -= back;
    return count;
  }
  const uint64_t left = size - session->position;
  const uint64_t forward = std::min<uint64_t>(left, static_cast<uint64_t>(count));
  session->position += forward;
  return static_cast<OPJ_OFF_T>(forward);
}

OPJ_BOOL SeekTo(OPJ_OFF_T offset, void* user) {
  auto* session = static_cast<Jp2Session*>(user);
  if (offset < 0 || static_cast<uint64_t>(offset) > session->source->Size()) return OPJ_FALSE;
  session->position = static_cast<uint64_t>(offset);
  return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

bool StartsWith(ByteSource& source, const uint8_t* bytes, size_t count) {
  uint8_t start[12];
  return count <= sizeof start && source.Size() >= count && source.ReadAt(0, start, count) &&
         std::memcmp(start, bytes, count) == 0;
}

// Bytes openjpeg holds for every sample of every component: 4 each, whatever the precision.
bool SamplesFit(const opj_image_t& image, uint64_t maxBytes) {
  uint64_t total = 0;
  for (OPJ_UINT32 i = 0; i < image.numcomps; ++i) {
    const opj_image_comp_t& comp = image.comps[i];
    const uint64_t width = comp.w, height = comp.h;
    if (width == 0 || height == 0) return false;
    const uint64_t room = (maxBytes - total) / 4;
    if (width > room || height > room / width) return false;
    total += width * height * 4;
  }
  return true;
}

// One component's samples brought to 8 bits: signed ones shifted up by half their range, then
// clamped to the precision's range and scaled.
struct Channel {
  const opj_image_comp_t* comp = nullptr;
  int64_t offset = 0;
  int64_t max = 255;
  int shift = 0;  // precision - 8, or -1 when scaled up by multiplication
  std::vector<uint32_t> columns;  // sample index of each picture column (subsampled components)

  uint8_t Level(int32_t value) const {
    int64_t v = static_cast<int64_t>(value) + offset;
    v = std::clamp<int64_t>(v, 0, max);
    return static_cast<uint8_t>(shift >= 0 ? v >> shift : (v * 255 + max / 2) / max);
  }
};

Channel MakeChannel(const opj_image_t& image, uint32_t index, int32_t width) {
  Channel channel;
  channel.comp = &image.comps[index];
  const uint32_t precision = std::clamp<uint32_t>(channel.comp->prec, 1, 31);
  channel.max = (int64_t{1} << precision) - 1;
  channel.offset = channel.comp->sgnd ? int64_t{1} << (precision - 1) : 0;
  channel.shift = precision >= 8 ? static_cast<int>(precision - 8) : -1;
  channel.columns.resize(static_cast<size_t>(width));
  const uint32_t dx = std::max<uint32_t>(channel.comp->dx, 1);
  for (int32_t x = 0; x < width; ++x) {
    const uint64_t at = (static_cast<uint64_t>(image.x0) + static_cast<uint64_t>(x)) / dx;
    const uint64_t first = channel.comp->x0;
    const uint64_t index64 = at > first ? at - first : 0;
    channel.columns[static_cast<size_t>(x)] =
        static_cast<uint32_t>(std::min<uint64_t>(index64, channel.comp->w - 1));
  }
  return channel;
}

// The component's samples for picture row y.
const OPJ_INT32* RowOf(const opj_image_t& image, const Channel& channel, int32_t y) {
  const uint32_t dy = std::max<uint32_t>(channel.comp->dy, 1);
  const uint64_t at = (static_cast<uint64_t>(image.y0) + static_cast<uint64_t>(y)) / dy;
  const uint64_t first = channel.comp->y0;
  const uint64_t row = std::min<uint64_t>(at > first ? at - first : 0, channel.comp->h - 1);
  return channel.comp->data + row * channel.comp->w;
}

uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

enum class Colours { kGrey, kRgb, kYcc, kCmyk };

struct Plan {
  Colours colours = Colours::kRgb;
  int colourCount = 3;
  int alpha = -1;  // component index of the alpha samples, or none
};

Plan PlanFor(const opj_image_t& image) {
  Plan plan;
  const uint32_t count = image.numcomps;
  if (image.color_space == OPJ_CLRSPC_CMYK && count >= 4) {
    plan.colours = Colours::kCmyk;
    plan.colourCount = 4;
  } else if (count >= 3 && image.color_space != OPJ_CLRSPC_GRAY) {
    plan.colours = (image.color_space == OPJ_CLRSPC_SYCC || image.color_space == OPJ_CLRSPC_EYCC)
                       ? Colours::kYcc
                       : Colours::kRgb;
  } else {
    plan.colours = Colours::kGrey;
    plan.colourCount = 1;
  }
  // The component marked as alpha (by a channel definition box), else the one right after the
  // colours when it is the last: grey + alpha, RGB + alpha.
  for (uint32_t i = static_cast<uint32_t>(plan.colourCount); i < count; ++i) {
    if (image.comps[i].alpha != 0) {
      plan.alpha = static_cast<int>(i);
      break;
    }
  }
  if (plan.alpha < 0 && count == static_cast<uint32_t>(plan.colourCount) + 1) plan.alpha = plan.colourCount;
  return plan;
}

}  // namespace

Jp2RowsDecoder::Jp2RowsDecoder(ByteSource& source, const std::atomic<bool>* cancel, uint64_t maxDecodedBytes)
    : session_(std::make_unique<Jp2Session>()), maxDecodedBytes_(maxDecodedBytes) {
  session_->source = &source;
  session_->cancel = cancel;
}

Jp2RowsDecoder::~Jp2RowsDecoder() = default;

Jp2Outcome Jp2RowsDecoder::Decode(Jp2Picture& picture, int threads) {
  if (decoded_ || session_->codec != nullptr) return Jp2Outcome::kFailed;
  ByteSource& source = *session_->source;
  OPJ_CODEC_FORMAT format = OPJ_CODEC_UNKNOWN;
  if (StartsWith(source, kJp2Signature, sizeof kJp2Signature)) {
    format = OPJ_CODEC_JP2;
  } else if (StartsWith(source, kCodestreamStart, sizeof kCodestreamStart)) {
    format = OPJ_CODEC_J2K;
  } else {
    return Jp2Outcome::kFailed;
  }

  session_->stream = opj_stream_create(kStreamBufferBytes, OPJ_TRUE);
  session_->codec = opj_create_decompress(format);
  if (session_->stream == nullptr || session_->codec == nullptr) return Jp2Outcome::kFailed;
  opj_stream_set_user_data(session_->stream, session_.get(), nullptr);
  opj_stream_set_user_data_length(session_->stream, source.Size());
  opj_stream_set_read_function(session_->stream, ReadBytes);
  opj_stream_set_skip_function(session_->stream, SkipBytes);
  opj_stream_set_seek_function(session_->stream, SeekTo);
  opj_set_info_handler(session_->codec, Quiet, nullptr);
  opj_set_warning_handler(session_->codec, Quiet, nullptr);
  opj_set_error_handler(session_->codec, Quiet, nullptr);

  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  if (!opj_setup_decoder(session_->codec, &parameters)) return Jp2Outcome::kFailed;
  if (threads > 1) opj_codec_set_threads(session_->codec, threads);  // false without thread support: fine

  const auto outcome = [this](bool ok) {
    if (session_->cancelled) return Jp2Outcome::kCancelled;
    return ok ? Jp2Outcome::kDecoded : Jp2Outcome::kFailed;
  };
  if (!opj_read_header(session_->stream, session_->codec, &session_->image) || session_->image == nullptr)
    return outcome(false);
  const opj_image_t& header = *session_->image;
  if (header.x1 <= header.x0 || header.y1 <= header.y0 || header.numcomps == 0) return Jp2Outcome::kFailed;
  const uint64_t width = header.x1 - header.x0, height = header.y1 - header.y0;
  // The whole picture, as openjpeg's samples and as the caller's 32-bit rows, within the limit.
  if (width > INT32_MAX || height > INT32_MAX || !SamplesFit(header, maxDecodedBytes_) ||
      width > maxDecodedBytes_ / 4 / height) {
    return Jp2Outcome::kFailed;
  }
  if (!opj_decode(session_->codec, session_->stream, session_->image) ||
      !opj_end_decompress(session_->codec, session_->stream)) {
    return outcome(false);
  }
  if (session_->cancelled) return Jp2Outcome::kCancelled;

  // The palette and channel definitions are applied now; every component must hold samples.
  const opj_image_t& image = *session_->image;
  if (image.numcomps == 0) return Jp2Outcome::kFailed;
  for (uint32_t i = 0; i < image.numcomps; ++i) {
    if (image.comps[i].data == nullptr || image.comps[i].w == 0 || image.comps[i].h == 0) return Jp2Outcome::kFailed;
  }
  picture.width = static_cast<int32_t>(width);
  picture.height = static_cast<int32_t>(height);
  picture.layout = PlanFor(image).alpha >= 0 ? Jp2RowLayout::kBgra32 : Jp2RowLayout::kBgr24;
  decoded_ = true;
  return Jp2Outcome::kDecoded;
}

void Jp2RowsDecoder::WriteRows(uint8_t* topRow, ptrdiff_t pitch) const {
  if (!decoded_) return;
  const opj_image_t& image = *session_->image;
  const int32_t width = static_cast<int32_t>(image.x1 - image.x0);
  const int32_t height = static_cast<int32_t>(image.y1 - image.y0);
  const Plan plan = PlanFor(image);
  std::vector<Channel> channels;
  for (int i = 0; i < plan.colourCount; ++i) channels.push_back(MakeChannel(image, static_cast<uint32_t>(i), width));
  if (plan.alpha >= 0) channels.push_back(MakeChannel(image, static_cast<uint32_t>(plan.alpha), width));
  const int pixelBytes = plan.alpha >= 0 ? 4 : 3;

  const OPJ_INT32* rows[5] = {};
  for (int32_t y = 0; y < height; ++y) {
    for (size_t c = 0; c < channels.size(); ++c) rows[c] = RowOf(image, channels[c], y);
    uint8_t* out = topRow + static_cast<ptrdiff_t>(y) * pitch;
    for (int32_t x = 0; x < width; ++x, out += pixelBytes) {
      const auto level = [&](int c) { return channels[static_cast<size_t>(c)].Level(rows[c][channels[static_cast<size_t>(c)].columns[static_cast<size_t>(x)]]); };
      uint8_t r = 0, g = 0, b = 0;
      switch (plan.colours) {
        case Colours::kGrey: r = g = b = level(0); break;
        case Colours::kRgb: r = level(0); g = level(1); b = level(2); break;
        case Colours::kYcc: {
          // Full-range BT.601, as sYCC defines it; 16-bit fixed point.
          const int32_t luma = level(0), cb = level(1) - 128, cr = level(2) - 128;
          r = Clamp255(luma + ((91881 * cr + 32768) >> 16));
          g = Clamp255(luma - ((22554 * cb + 46802 * cr - 32768) >> 16));
          b = Clamp255(luma + ((116130 * cb + 32768) >> 16));
          break;
        }
        case Colours::kCmyk: {
          const int32_t k = 255 - level(3);
          r = static_cast<uint8_t>((255 - level(0)) * k / 255);
          g = static_cast<uint8_t>((255 - level(1)) * k / 255);
          b = static_cast<uint8_t>((255 - level(2)) * k / 255);
          break;
        }
      }
      out[0] = b;
      out[1] = g;
      out[2] = r;
      if (pixelBytes == 4) out[3] = level(plan.colourCount);
    }
  }
}

std::vector<uint8_t> Jp2RowsDecoder::EmbeddedProfile() const {
  if (!decoded_) return {};
  const opj_image_t& image = *session_->image;
  // A CIELab colour box leaves a buffer of its own parameters with length 0: not a profile.
  if (image.icc_profile_buf == nullptr || image.icc_profile_len == 0) return {};
  return std::vector<uint8_t>(image.icc_profile_buf, image.icc_profile_buf + image.icc_profile_len);
}
