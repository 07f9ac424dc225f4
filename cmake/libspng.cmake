# libspng and the zlib it inflates with, from Debian's source packages that scripts/deps.sh
# unpacks into build/deps/, compiled here as two small static libraries (a handful of C files
# each) with this tree's compiler and instrumentation: ASan/UBSan in the native tests, ASan and
# libFuzzer's coverage in the fuzz build, optimised in the Windows build.
set(VISTREL_ZLIB_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/zlib-1.2.13.dfsg
    CACHE PATH "Unpacked zlib 1.2.13 source package (scripts/deps.sh fetches it)")
set(VISTREL_LIBSPNG_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/libspng-0.7.3
    CACHE PATH "Unpacked libspng 0.7.3 source package (scripts/deps.sh fetches it)")
foreach(check ${VISTREL_ZLIB_SOURCE}/inflate.c ${VISTREL_LIBSPNG_SOURCE}/spng/spng.c)
  if(NOT EXISTS ${check})
    message(FATAL_ERROR "No ${check}: run scripts/deps.sh")
  endif()
endforeach()

set(vistrel_deps_c_flags -O2 -w)
if(VISTREL_FUZZ)
  list(APPEND vistrel_deps_c_flags -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()

# Only what decoding needs (plus deflate, which libspng's encoder refers to): no gz file layer.
set(zlib_files adler32 compress crc32 deflate inffast inflate inftrees trees zutil)
list(TRANSFORM zlib_files PREPEND ${VISTREL_ZLIB_SOURCE}/)
list(TRANSFORM zlib_files APPEND .c)
add_library(vistrel_zlib STATIC ${zlib_files})
target_include_directories(vistrel_zlib SYSTEM PUBLIC ${VISTREL_ZLIB_SOURCE})
target_compile_options(vistrel_zlib PRIVATE ${vistrel_deps_c_flags})

add_library(vistrel_spng STATIC ${VISTREL_LIBSPNG_SOURCE}/spng/spng.c)
target_include_directories(vistrel_spng SYSTEM PUBLIC ${VISTREL_LIBSPNG_SOURCE}/spng)
target_compile_definitions(vistrel_spng PUBLIC SPNG_STATIC)
target_compile_options(vistrel_spng PRIVATE ${vistrel_deps_c_flags})
target_link_libraries(vistrel_spng PUBLIC vistrel_zlib)
if(NOT WIN32)
  target_link_libraries(vistrel_spng PUBLIC m)
endif()
