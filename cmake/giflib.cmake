# giflib, the GIF reader behind animations, from Debian's source package that scripts/deps.sh
# unpacks into build/deps/: its decoding half only (no encoder, no tools), compiled here as one
# small static library with this tree's compiler and instrumentation, like the other libraries.
set(VISTREL_GIFLIB_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/giflib-5.2.1
    CACHE PATH "Unpacked giflib 5.2.1 source package (scripts/deps.sh fetches it)")
if(NOT EXISTS ${VISTREL_GIFLIB_SOURCE}/dgif_lib.c)
  message(FATAL_ERROR "No giflib source at ${VISTREL_GIFLIB_SOURCE}: run scripts/deps.sh")
endif()

set(giflib_files dgif_lib gif_err gifalloc openbsd-reallocarray)
list(TRANSFORM giflib_files PREPEND ${VISTREL_GIFLIB_SOURCE}/)
list(TRANSFORM giflib_files APPEND .c)
add_library(giflib STATIC ${giflib_files})
target_include_directories(giflib SYSTEM PUBLIC ${VISTREL_GIFLIB_SOURCE})
target_compile_options(giflib PRIVATE -O2 -w)
if(VISTREL_FUZZ)
  target_compile_options(giflib PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()
