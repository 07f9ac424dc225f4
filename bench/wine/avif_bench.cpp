// What an AVIF costs inside the viewer, against a bare decode of the same file in this run:
//   Vistrel: DecodeFileToImage, as the worker decodes (the file read, the facts, our container
//            reader, dav1d on every core, the conversion into the DIB, the colour step);
//   bare:    the file's bytes already in memory, its primary item found, dav1d (the same build)
//            with a thread per core and the YUV planes converted to 8-bit BGR(A) in a plain buffer
//            (as an application calling libavif's decode and RGB conversion would);
//   bare, one thread: the same with dav1d and the conversion on one thread.
// Targets: Vistrel / bare <= 1.1, Vistrel / bare on one thread <= 0.75. Medians of 7, the routes
// taking turns. Prints figures; it is not a test. bench/avif_bench.sh makes a 12 MP picture and
// runs it:  avif_bench.exe PICTURE.avif
#include <windows.h>

#include <dav1d/dav1d.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_timing.h"
#include "decode/avif/yuv_rows.h"
#include "decode/byte_cursor.h"
#include "decode/isobmff/isobmff_format.h"
#include "decode/win32/image_decode.h"
#include "picture/win32/dib_image.h"
#include "support/test_paths.h"

namespace {

constexpr int kRuns = 7;

void KeepBytes(const uint8_t*, void*) {}

// The bare route: the primary item (one AV1 image) decoded by dav1d, converted into a buffer.
bool BareDecode(const std::vector<uint8_t>& file, int threads, std::vector<uint8_t>& out) {
  MemoryByteSource source(file.data(), file.size());
  ByteCursor cursor(source);
  IsobmffMeta meta;
  if (!ReadIsobmffMeta(cursor, meta)) return false;
  const IsobmffItem* item = meta.Item(meta.primary);
  if (item == nullptr || item->type != FourCc("av01") || item->extents.size() != 1) return false;
  Dav1dSettings settings;
  dav1d_default_settings(&settings);
  settings.n_threads = threads;
  settings.max_frame_delay = 1;
  Dav1dContext* context = nullptr;
  if (dav1d_open(&context, &settings) != 0) return false;
  Dav1dData data{};
  Dav1dPicture picture{};
  bool ok = dav1d_data_wrap(&data, file.data() + item->extents[0].offset, item->extents[0].length, KeepBytes,
                            nullptr) == 0;
  while (ok) {
    if (data.sz > 0) {
      const int sent = dav1d_send_data(context, &data);
      ok = sent == 0 || sent == DAV1D_ERR(EAGAIN);
    }
    const int got = dav1d_get_picture(context, &picture);
    if (got == 0) break;
    ok = ok && got == DAV1D_ERR(EAGAIN) && data.sz > 0;
  }
  dav1d_data_unref(&data);
  if (ok) {
    YuvPlanes yuv;
    yuv.width = picture.p.w, yuv.height = picture.p.h, yuv.bitDepth = picture.p.bpc;
    yuv.monochrome = picture.p.layout == DAV1D_PIXEL_LAYOUT_I400;
    yuv.subsampleX = picture.p.layout == DAV1D_PIXEL_LAYOUT_I444 ? 0 : 1;
    yuv.subsampleY = picture.p.layout == DAV1D_PIXEL_LAYOUT_I420 ? 1 : 0;
    yuv.fullRange = picture.seq_hdr->color_range != 0;
    yuv.matrix = static_cast<uint16_t>(picture.seq_hdr->mtrx);
    for (int i = 0; i < 3; ++i) {
      yuv.plane[i] = static_cast<const uint8_t*>(picture.data[i]);
      yuv.stride[i] = picture.stride[i == 0 ? 0 : 1];
    }
    const ptrdiff_t pitch = (static_cast<ptrdiff_t>(yuv.width) * 3 + 3) & ~ptrdiff_t{3};
    out.resize(static_cast<size_t>(pitch) * static_cast<size_t>(yuv.height));
    ok = WriteYuvAsRgb(yuv, AlphaPlane{}, OwnTransform{}, RgbRows{out.data(), pitch, RgbRowLayout::kBgr8}, threads);
    dav1d_picture_unref(&picture);
  }
  dav1d_close(&context);
  return ok;
}

}  // namespace

int main() {
  const std::vector<std::wstring> args = ProgramArguments();
  if (args.size() < 2) {
    std::printf("usage: avif_bench.exe PICTURE.avif\n");
    return 2;
  }
  const std::wstring path = args[1];
  std::vector<uint8_t> file;
  if (!ReadFileBytes(path, &file)) {
    std::printf("cannot read the picture\n");
    return 1;
  }
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<double> vistrel, bare, bareOne;
  int32_t width = 0, height = 0;
  for (int run = 0; run < kRuns; ++run) {
    CImage image;
    double t = NowMs();
    if (!DecodeFileToImage(path, image)) {
      std::printf("Vistrel did not decode the picture\n");
      return 1;
    }
    vistrel.push_back(NowMs() - t);
    width = image.Width(), height = image.Height();
    image.Destroy();
    std::vector<uint8_t> out;
    t = NowMs();
    if (!BareDecode(file, cores, out)) {
      std::printf("the bare decode failed\n");
      return 1;
    }
    bare.push_back(NowMs() - t);
    out = std::vector<uint8_t>();
    t = NowMs();
    if (!BareDecode(file, 1, out)) return 1;
    bareOne.push_back(NowMs() - t);
  }
  const double v = Median(vistrel), b = Median(bare), one = Median(bareOne);
  std::printf("AVIF %d x %d (%.1f MP, %zu bytes), %d cores, medians of %d:\n", width, height,
              width * static_cast<double>(height) / 1e6, file.size(), cores, kRuns);
  std::printf("| Vistrel (DecodeFile) | bare, %d threads | bare, 1 thread | Vistrel / bare (<= 1.1) | "
              "Vistrel / bare 1 thread (<= 0.75) |\n|---|---|---|---|---|\n",
              cores);
  std::printf("| %.1f ms | %.1f ms | %.1f ms | %.3f | %.3f |\n", v, b, one, v / b, v / one);
  return 0;
}
