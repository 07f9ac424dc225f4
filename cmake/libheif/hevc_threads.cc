// Compiled into libheif (cmake/libheif.cmake): its libde265 decoder plugin starts one worker thread
// per decoder, hard-coded, which leaves a single HEVC picture to one core. The plugin's call is
// renamed to this one at build time, so the count is ours: the core count (up to 8) unless a
// caller set another through vistrel_set_hevc_threads. Any thread; a new count applies to the
// decoders made after it.
#include <libde265/de265.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

std::atomic<int> chosenThreads{0};  // 0: the core count

}  // namespace

extern "C" de265_error vistrel_de265_start_worker_threads(de265_decoder_context* context, int) {
  int threads = chosenThreads.load(std::memory_order_relaxed);
  if (threads <= 0) threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  return de265_start_worker_threads(context, threads);
}

// Exported from libheif.dll beside heif.h's functions; a libheif.dll of another build lacks it,
// and its plugin then keeps its own count.
extern "C" void vistrel_set_hevc_threads(int threads) {
  chosenThreads.store(std::max(threads, 0), std::memory_order_relaxed);
}
