// The libheif functions the HEIF decoder calls, as a table: linked directly where libheif is a
// static library (the native tests, the fuzzer), loaded from libheif.dll on Windows at the first
// HEIF decode (win32/heif_library.h), so vistrel.exe never imports it. Platform-free.
#pragma once
#include <libheif/heif.h>

// Our libheif's own addition (cmake/libheif/hevc_threads.cc): how many threads libde265 decodes
// each HEVC picture with; 0 for the core count.
extern "C" void vistrel_set_hevc_threads(int threads);

struct HeifApi {
  decltype(&heif_context_alloc) contextAlloc = nullptr;
  decltype(&heif_context_free) contextFree = nullptr;
  decltype(&heif_context_read_from_memory_without_copy) readFromMemoryWithoutCopy = nullptr;
  decltype(&heif_context_set_maximum_image_size_limit) setMaximumImageSizeLimit = nullptr;
  decltype(&heif_context_set_max_decoding_threads) setMaxDecodingThreads = nullptr;
  decltype(&heif_context_get_primary_image_handle) getPrimaryImageHandle = nullptr;
  decltype(&heif_image_handle_release) handleRelease = nullptr;
  decltype(&heif_image_handle_get_width) handleWidth = nullptr;
  decltype(&heif_image_handle_get_height) handleHeight = nullptr;
  decltype(&heif_image_handle_has_alpha_channel) handleHasAlpha = nullptr;
  decltype(&heif_image_handle_get_luma_bits_per_pixel) handleLumaBits = nullptr;
  decltype(&heif_image_handle_get_raw_color_profile_size) handleRawProfileSize = nullptr;
  decltype(&heif_image_handle_get_raw_color_profile) handleRawProfile = nullptr;
  decltype(&heif_image_handle_get_nclx_color_profile) handleNclxProfile = nullptr;
  decltype(&heif_nclx_color_profile_free) nclxProfileFree = nullptr;
  decltype(&heif_decoding_options_alloc) decodingOptionsAlloc = nullptr;
  decltype(&heif_decoding_options_free) decodingOptionsFree = nullptr;
  decltype(&heif_decode_image) decodeImage = nullptr;
  decltype(&heif_image_release) imageRelease = nullptr;
  decltype(&heif_image_get_width) imageWidth = nullptr;
  decltype(&heif_image_get_height) imageHeight = nullptr;
  decltype(&heif_image_get_chroma_format) imageChroma = nullptr;
  decltype(&heif_image_get_bits_per_pixel_range) imageBitsPerPixelRange = nullptr;
  decltype(&heif_image_get_plane_readonly) imagePlaneReadonly = nullptr;
  decltype(&heif_image_is_premultiplied_alpha) imageIsPremultiplied = nullptr;
  // Optional (null in a libheif.dll of another build, which keeps its plugin's own count).
  decltype(&vistrel_set_hevc_threads) setHevcThreads = nullptr;
};

// Calls f(name, slot) for every entry of the table but the optional one, so the one list below
// names what a loader must find.
template <typename F>
void ForEachHeifFunction(HeifApi& api, F&& f) {
  f("heif_context_alloc", api.contextAlloc);
  f("heif_context_free", api.contextFree);
  f("heif_context_read_from_memory_without_copy", api.readFromMemoryWithoutCopy);
  f("heif_context_set_maximum_image_size_limit", api.setMaximumImageSizeLimit);
  f("heif_context_set_max_decoding_threads", api.setMaxDecodingThreads);
  f("heif_context_get_primary_image_handle", api.getPrimaryImageHandle);
  f("heif_image_handle_release", api.handleRelease);
  f("heif_image_handle_get_width", api.handleWidth);
  f("heif_image_handle_get_height", api.handleHeight);
  f("heif_image_handle_has_alpha_channel", api.handleHasAlpha);
  f("heif_image_handle_get_luma_bits_per_pixel", api.handleLumaBits);
  f("heif_image_handle_get_raw_color_profile_size", api.handleRawProfileSize);
  f("heif_image_handle_get_raw_color_profile", api.handleRawProfile);
  f("heif_image_handle_get_nclx_color_profile", api.handleNclxProfile);
  f("heif_nclx_color_profile_free", api.nclxProfileFree);
  f("heif_decoding_options_alloc", api.decodingOptionsAlloc);
  f("heif_decoding_options_free", api.decodingOptionsFree);
  f("heif_decode_image", api.decodeImage);
  f("heif_image_release", api.imageRelease);
  f("heif_image_get_width", api.imageWidth);
  f("heif_image_get_height", api.imageHeight);
  f("heif_image_get_chroma_format", api.imageChroma);
  f("heif_image_get_bits_per_pixel_range", api.imageBitsPerPixelRange);
  f("heif_image_get_plane_readonly", api.imagePlaneReadonly);
  f("heif_image_is_premultiplied_alpha", api.imageIsPremultiplied);
}

// True when every entry is filled.
inline bool HeifApiComplete(HeifApi& api) {
  bool complete = true;
  ForEachHeifFunction(api, [&](const char*, auto& slot) { complete = complete && slot != nullptr; });
  return complete;
}
