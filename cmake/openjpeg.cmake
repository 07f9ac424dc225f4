# openjpeg (the JPEG 2000 decoder), from Debian's source package that scripts/deps.sh unpacks into
# build/deps/. Only its decoding library is wanted, so its few C files are compiled here as one
# static library with the two configuration headers its own build would generate; none of its
# tools, tests or CMake options come along.
set(VISTREL_OPENJPEG_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/openjpeg2-2.5.0
    CACHE PATH "Unpacked openjpeg2 2.5.0 source package (scripts/deps.sh fetches it)")
set(opj_dir ${VISTREL_OPENJPEG_SOURCE}/src/lib/openjp2)
if(NOT EXISTS ${opj_dir}/openjpeg.h)
  message(FATAL_ERROR "No openjpeg source at ${VISTREL_OPENJPEG_SOURCE}: run scripts/deps.sh")
endif()

set(opj_generated ${CMAKE_BINARY_DIR}/deps/openjpeg/include)
if(WIN32)
  set(opj_aligned "#define OPJ_HAVE__ALIGNED_MALLOC")
else()
  set(opj_aligned "#define OPJ_HAVE_POSIX_MEMALIGN")
endif()
file(CONFIGURE OUTPUT ${opj_generated}/opj_config.h CONTENT
"#define OPJ_HAVE_STDINT_H 1
#define OPJ_VERSION_MAJOR 2
#define OPJ_VERSION_MINOR 5
#define OPJ_VERSION_BUILD 0
")
file(CONFIGURE OUTPUT ${opj_generated}/opj_config_private.h CONTENT
"#define OPJ_HAVE_INTTYPES_H 1
#define OPJ_PACKAGE_VERSION \"2.5.0\"
#define OPJ_HAVE_MALLOC_H
${opj_aligned}
#if !defined(_POSIX_C_SOURCE) && defined(OPJ_HAVE_POSIX_MEMALIGN)
#define _POSIX_C_SOURCE 200112L
#endif
")

set(opj_sources)
foreach(name thread bio cio dwt event ht_dec image invert j2k jp2 mct mqc openjpeg opj_clock pi t1 t2
             tcd tgt function_list opj_malloc sparse_array)
  list(APPEND opj_sources ${opj_dir}/${name}.c)
endforeach()
add_library(openjpeg STATIC ${opj_sources})
# Static everywhere: no DLL import decoration on Windows, hidden symbols elsewhere.
target_compile_definitions(openjpeg PUBLIC OPJ_STATIC)
target_include_directories(openjpeg SYSTEM PUBLIC ${opj_dir} ${opj_generated})
# Optimised even in the Debug tests (its wavelet and entropy loops are slow at -O0); its own
# warnings are not ours to fix. The fuzz build gives it libFuzzer's coverage and ASan, like the
# code that calls it (the sanitizer build's flags already apply to every target).
target_compile_options(openjpeg PRIVATE -O2 -w)
if(VISTREL_FUZZ)
  target_compile_options(openjpeg PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()
if(NOT WIN32)
  target_link_libraries(openjpeg PRIVATE m)
endif()
