# libjxl (the JPEG XL decoder) and its thread-pool runner, from Debian's source package that
# scripts/deps.sh unpacks into build/deps/, compiled here as two static libraries with Highway
# (cmake/highway.cmake) and Brotli's decoder (cmake/brotli.cmake). The decoder's files are the
# ones libjxl's own lib/jxl.cmake lists for its decoder library, less those a viewer's decode never
# calls (the reconstruction of JPEG files, encoder-side filters, benchmarks); none of its encoder,
# tools, tests or CMake options come along.
set(VISTREL_LIBJXL_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/jpeg-xl-0.7.0
    CACHE PATH "Unpacked jpeg-xl 0.7.0 source package (scripts/deps.sh fetches it)")
set(jxl_lib ${VISTREL_LIBJXL_SOURCE}/lib)
if(NOT EXISTS ${jxl_lib}/jxl/decode.cc OR NOT EXISTS ${jxl_lib}/jxl.cmake)
  message(FATAL_ERROR "No libjxl source at ${VISTREL_LIBJXL_SOURCE}: run scripts/deps.sh")
endif()

# The decoder's list, read from lib/jxl.cmake: set(JPEGXL_INTERNAL_SOURCES_DEC ... ).
file(READ ${jxl_lib}/jxl.cmake jxl_lists)
if(NOT jxl_lists MATCHES "set\\(JPEGXL_INTERNAL_SOURCES_DEC([^)]*)\\)")
  message(FATAL_ERROR "No decoder source list in ${jxl_lib}/jxl.cmake")
endif()
string(REGEX MATCHALL "jxl/[^ \t\r\n]+\\.cc" jxl_dec_files "${CMAKE_MATCH_1}")
# Not needed to show pictures: JPEG reconstruction (off below), the encoder's convolutions and
# blur, the random numbers and DCT benchmarks of the tests.
list(FILTER jxl_dec_files EXCLUDE REGEX
     "^jxl/(jpeg/.*|decode_to_jpeg|convolve_.*|gauss_blur|fast_dct|base/random)\\.cc$")
list(TRANSFORM jxl_dec_files PREPEND ${jxl_lib}/)

# The headers libjxl's build would generate: the version, and the export macros (empty: static).
set(jxl_generated ${CMAKE_BINARY_DIR}/deps/libjxl/include)
file(CONFIGURE OUTPUT ${jxl_generated}/jxl/version.h CONTENT
"#ifndef JXL_VERSION_H_
#define JXL_VERSION_H_
#define JPEGXL_MAJOR_VERSION 0
#define JPEGXL_MINOR_VERSION 7
#define JPEGXL_PATCH_VERSION 0
#define JPEGXL_COMPUTE_NUMERIC_VERSION(major,minor,patch) ((major<<24) | (minor<<16) | (patch<<8) | 0)
#define JPEGXL_NUMERIC_VERSION JPEGXL_COMPUTE_NUMERIC_VERSION(JPEGXL_MAJOR_VERSION,JPEGXL_MINOR_VERSION,JPEGXL_PATCH_VERSION)
#endif
")
file(CONFIGURE OUTPUT ${jxl_generated}/jxl/jxl_export.h CONTENT
"#ifndef JXL_EXPORT_H
#define JXL_EXPORT_H
#define JXL_EXPORT
#define JXL_NO_EXPORT
#define JXL_DEPRECATED __attribute__((deprecated))
#endif
")
file(CONFIGURE OUTPUT ${jxl_generated}/jxl/jxl_threads_export.h CONTENT
"#ifndef JXL_THREADS_EXPORT_H
#define JXL_THREADS_EXPORT_H
#define JXL_THREADS_EXPORT
#define JXL_THREADS_NO_EXPORT
#endif
")

# NDEBUG keeps libjxl's error messages off stderr in every build; its internal checks stay on.
set(jxl_definitions JXL_INTERNAL_LIBRARY_BUILD JPEGXL_ENABLE_TRANSCODE_JPEG=0 NDEBUG)
# The fuzz build turns on libjxl's own limits on what one picture may allocate and compute, as its
# own fuzzers do, so that a small file cannot exhaust the fuzzer's memory from inside libjxl.
if(VISTREL_FUZZ)
  list(APPEND jxl_definitions FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
endif()

add_library(jxl_dec STATIC ${jxl_dec_files})
target_include_directories(jxl_dec PRIVATE ${VISTREL_LIBJXL_SOURCE})
target_include_directories(jxl_dec SYSTEM PUBLIC ${jxl_lib}/include ${jxl_generated})
target_compile_definitions(jxl_dec PRIVATE ${jxl_definitions})
target_compile_options(jxl_dec PRIVATE ${VISTREL_HWY_BUILD_FLAGS})
target_link_libraries(jxl_dec PRIVATE hwy brotlidec)

add_library(jxl_threads STATIC ${jxl_lib}/threads/thread_parallel_runner.cc
                               ${jxl_lib}/threads/thread_parallel_runner_internal.cc)
target_include_directories(jxl_threads PRIVATE ${VISTREL_LIBJXL_SOURCE})
target_include_directories(jxl_threads SYSTEM PUBLIC ${jxl_lib}/include ${jxl_generated})
target_compile_definitions(jxl_threads PRIVATE ${jxl_definitions})
target_compile_options(jxl_threads PRIVATE ${VISTREL_HWY_BUILD_FLAGS})
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(jxl_threads PUBLIC Threads::Threads)
  target_link_libraries(jxl_dec PRIVATE m)
endif()
