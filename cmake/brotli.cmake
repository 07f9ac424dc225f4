# Brotli's decoder (libjxl unpacks Brotli-compressed metadata boxes with it), from Debian's source
# package that scripts/deps.sh unpacks into build/deps/: its common and decoder C files compiled
# here as one static library. No encoder, no tools.
set(VISTREL_BROTLI_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/brotli-1.0.9
    CACHE PATH "Unpacked brotli 1.0.9 source package (scripts/deps.sh fetches it)")
if(NOT EXISTS ${VISTREL_BROTLI_SOURCE}/c/dec/decode.c)
  message(FATAL_ERROR "No brotli source at ${VISTREL_BROTLI_SOURCE}: run scripts/deps.sh")
endif()

set(brotli_files common/constants common/context common/dictionary common/platform common/transform
                 dec/bit_reader dec/decode dec/huffman dec/state)
list(TRANSFORM brotli_files PREPEND ${VISTREL_BROTLI_SOURCE}/c/)
list(TRANSFORM brotli_files APPEND .c)
add_library(brotlidec STATIC ${brotli_files})
target_include_directories(brotlidec SYSTEM PUBLIC ${VISTREL_BROTLI_SOURCE}/c/include)
# Optimised even in the Debug tests, its warnings not ours; the fuzz build instruments it like the
# code that calls it.
target_compile_options(brotlidec PRIVATE -O2 -w)
if(VISTREL_FUZZ)
  target_compile_options(brotlidec PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()
