# libwebp (the WebP decoder), from Debian's source package that scripts/deps.sh unpacks into
# build/deps/. Only decoding is wanted: its decoder (src/dec), the decoding half of its DSP code
# (src/dsp, the plain C and the x86 SSE2/SSE4.1 variants, picked at run time by CPU), its
# utilities (src/utils) and the demuxer with its animation decoder (src/demux, for animations), compiled
# here as one static library with the configuration header its own build would generate. None of
# its encoder, tools or CMake options come along.
set(VISTREL_LIBWEBP_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/libwebp-1.2.4
    CACHE PATH "Unpacked libwebp 1.2.4 source package (scripts/deps.sh fetches it)")
if(NOT EXISTS ${VISTREL_LIBWEBP_SOURCE}/src/webp/decode.h)
  message(FATAL_ERROR "No libwebp source at ${VISTREL_LIBWEBP_SOURCE}: run scripts/deps.sh")
endif()
set(webp_dir ${VISTREL_LIBWEBP_SOURCE}/src)

# Threads let the lossy decoder filter and write rows beside the bitstream parse (use_threads);
# the fuzz build stays on one thread, so an input always runs the same way.
set(webp_thread "")
if(NOT VISTREL_FUZZ)
  set(webp_thread "#define WEBP_USE_THREAD 1")
endif()
set(webp_generated ${CMAKE_BINARY_DIR}/deps/libwebp/include)
file(CONFIGURE OUTPUT ${webp_generated}/src/webp/config.h CONTENT
"#define HAVE_BUILTIN_BSWAP16 1
#define HAVE_BUILTIN_BSWAP32 1
#define HAVE_BUILTIN_BSWAP64 1
#define WEBP_HAVE_SSE2 1
#define WEBP_HAVE_SSE41 1
${webp_thread}
")

set(webp_sources)
foreach(name alpha_dec buffer_dec frame_dec idec_dec io_dec quant_dec tree_dec vp8_dec vp8l_dec webp_dec)
  list(APPEND webp_sources ${webp_dir}/dec/${name}.c)
endforeach()
foreach(name alpha_processing alpha_processing_sse2 cpu dec dec_clip_tables dec_sse2 filters filters_sse2
             lossless lossless_sse2 rescaler rescaler_sse2 upsampling upsampling_sse2 yuv yuv_sse2)
  list(APPEND webp_sources ${webp_dir}/dsp/${name}.c)
endforeach()
# The SSE4.1 variants are compiled for that instruction set and only called on a CPU that has it.
set(webp_sse41_sources)
foreach(name alpha_processing_sse41 dec_sse41 lossless_sse41 upsampling_sse41 yuv_sse41)
  list(APPEND webp_sse41_sources ${webp_dir}/dsp/${name}.c)
endforeach()
set_source_files_properties(${webp_sse41_sources} PROPERTIES COMPILE_OPTIONS -msse4.1)
foreach(name bit_reader_utils color_cache_utils filters_utils huffman_utils quant_levels_dec_utils
             random_utils rescaler_utils thread_utils utils)
  list(APPEND webp_sources ${webp_dir}/utils/${name}.c)
endforeach()
list(APPEND webp_sources ${webp_dir}/demux/demux.c ${webp_dir}/demux/anim_decode.c)

add_library(vistrel_webp STATIC ${webp_sources} ${webp_sse41_sources})
target_compile_definitions(vistrel_webp PRIVATE HAVE_CONFIG_H)
# Its own files include "src/..." from the package's root; users include <webp/decode.h>.
target_include_directories(vistrel_webp PRIVATE ${webp_generated} ${VISTREL_LIBWEBP_SOURCE})
target_include_directories(vistrel_webp SYSTEM PUBLIC ${webp_dir})
# Optimised even in the Debug tests, its warnings not ours; the fuzz build instruments it like the
# code that calls it (the sanitizer build's flags already apply to every target).
target_compile_options(vistrel_webp PRIVATE -O2 -w)
if(VISTREL_FUZZ)
  target_compile_options(vistrel_webp PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(vistrel_webp PUBLIC Threads::Threads m)
endif()
