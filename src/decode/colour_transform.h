// Turning decoded pixels from the colours their embedded ICC profile describes into the display's,
// through Little CMS, relative colorimetric. Platform-free. Pictures without a profile, and those
// whose profile is sRGB (or the display's own), are left exactly as decoded: no transform runs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

// The rows converted in place, 8 bits a channel. The first two are stored blue first and alpha is
// never touched; CMYK pixels (255 full ink, or inverted: 255 no ink, as files with Adobe's marker
// hold them) become blue, green, red and alpha 255 in the same four bytes.
enum class ColourPixels { kBgr24, kBgra32, kCmyk32, kInvertedCmyk32 };

enum class ColourOutcome {
  kConverted,  // every row now holds display colours
  kUntouched,  // no transform applies (no profile, sRGB, the display's, unusable, or unlike the pixels)
};

// What a profile says, as far as the choice of transform goes.
enum class ProfileKind { kNone, kUnusable, kSrgb, kRgb, kGrey, kCmyk };
ProfileKind ClassifyProfile(const std::vector<uint8_t>& profile);

struct CachedTransform;

// How RGB conversions between two matrix-shaper profiles (the common case: camera, phone and
// editing spaces, and displays) are computed.
enum class ColourEngine {
  kMatrixShaperTables,  // curves and matrix read from the profiles, applied through tables of our own
  kLittleCmsOnly,       // every conversion through Little CMS's own transform
};

// One transform between two profiles for one pixel layout, made once. Shared: applying it changes
// nothing in it, so any number of threads may apply it at once, and it stays alive for whoever
// holds it after the cache has let it go.
using SharedTransform = std::shared_ptr<const CachedTransform>;

// Whether the transform changes such pixels (false: they are left exactly as they are).
bool TransformApplies(const SharedTransform& transform);
// Converts the rows in place through the transform. threads: how many threads share the rows (1:
// the calling thread alone). Any thread; no lock is needed.
ColourOutcome ApplyTransform(const SharedTransform& transform, uint8_t* topRow, ptrdiff_t pitch, int32_t width,
                             int32_t height, ColourPixels pixels, int threads = 1);

// Keeps the last few transforms, one per pair of profiles and pixel layout: making one costs far
// more than applying it to a small picture. One thread at a time: callers that share one hold a
// lock around Take (or Convert) only, and apply what Take gave without it.
class ColourConverter {
 public:
  explicit ColourConverter(ColourEngine engine = ColourEngine::kMatrixShaperTables);
  ~ColourConverter();
  ColourConverter(const ColourConverter&) = delete;
  ColourConverter& operator=(const ColourConverter&) = delete;

  // embedded: the picture's profile (RGB, or grey for pixels whose three colours are equal, or
  // CMYK for CMYK pixels). display: the display's profile; empty, unusable or not RGB means sRGB.
  // threads: how many threads share the rows (1: the calling thread alone).
  ColourOutcome Convert(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                        uint8_t* topRow, ptrdiff_t pitch, int32_t width, int32_t height, ColourPixels pixels,
                        int threads = 1);

  // Whether Convert would change such pixels (the transform is made, and kept, now): CMYK pixels
  // are worth decoding only when their profile can turn them into the display's colours.
  bool Converts(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display, ColourPixels pixels);

  // The transform for the pair, made now when the cache does not hold it; null without a profile.
  SharedTransform Take(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display, ColourPixels pixels);

  size_t CachedCount() const { return cache_.size(); }

 private:
  std::shared_ptr<CachedTransform> Find(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display, int layout);

  ColourEngine engine_;
  std::list<std::shared_ptr<CachedTransform>> cache_;  // most recently used first
};
