// The table of heif_api.h filled from a libheif linked into the program: for the native tests, the
// fuzzer and the benchmark's bare call. vistrel.exe never includes this (it loads the DLL).
#pragma once
#include "decode/heif/heif_api.h"

inline const HeifApi& LinkedHeifApi() {
  static const HeifApi api = [] {
    HeifApi table;
    table.contextAlloc = heif_context_alloc;
    table.contextFree = heif_context_free;
    table.readFromMemoryWithoutCopy = heif_context_read_from_memory_without_copy;
    table.setMaximumImageSizeLimit = heif_context_set_maximum_image_size_limit;
    table.setMaxDecodingThreads = heif_context_set_max_decoding_threads;
    table.getPrimaryImageHandle = heif_context_get_primary_image_handle;
    table.handleRelease = heif_image_handle_release;
    table.handleWidth = heif_image_handle_get_width;
    table.handleHeight = heif_image_handle_get_height;
    table.handleHasAlpha = heif_image_handle_has_alpha_channel;
    table.handleLumaBits = heif_image_handle_get_luma_bits_per_pixel;
    table.handleRawProfileSize = heif_image_handle_get_raw_color_profile_size;
    table.handleRawProfile = heif_image_handle_get_raw_color_profile;
    table.handleNclxProfile = heif_image_handle_get_nclx_color_profile;
    table.nclxProfileFree = heif_nclx_color_profile_free;
    table.decodingOptionsAlloc = heif_decoding_options_alloc;
    table.decodingOptionsFree = heif_decoding_options_free;
    table.decodeImage = heif_decode_image;
    table.imageRelease = heif_image_release;
    table.imageWidth = heif_image_get_width;
    table.imageHeight = heif_image_get_height;
    table.imageChroma = heif_image_get_chroma_format;
    table.imageBitsPerPixelRange = heif_image_get_bits_per_pixel_range;
    table.imagePlaneReadonly = heif_image_get_plane_readonly;
    table.imageIsPremultiplied = heif_image_is_premultiplied_alpha;
    table.setHevcThreads = vistrel_set_hevc_threads;
    return table;
  }();
  return api;
}
