# libde265 (the HEVC decoder behind libheif), from Debian's source package that scripts/deps.sh
# unpacks into build/deps/. Only its decoder is compiled, with its SSE4.1 kernels (chosen at run
# time by CPUID). LGPL: for Windows it is a DLL of its own, libde265.dll beside vistrel.exe, so a
# user can replace it; it exports only its C API (de265.h) and carries the mingw runtime
# statically. Natively and for the fuzzers it is a static library with the preset's instrumentation.
set(VISTREL_LIBDE265_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/libde265-1.0.11
    CACHE PATH "Unpacked libde265 1.0.11 source package (scripts/deps.sh fetches it)")
set(de265_dir ${VISTREL_LIBDE265_SOURCE}/libde265)
if(NOT EXISTS ${de265_dir}/de265.h)
  message(FATAL_ERROR "No libde265 source at ${VISTREL_LIBDE265_SOURCE}: run scripts/deps.sh")
endif()

set(de265_sources)
foreach(name alloc_pool bitstream cabac configparam contextmodel de265 deblock decctx dpb
             fallback-dct fallback-motion fallback image intrapred md5 motion nal-parser nal pps
             refpic sao scan sei slice sps threads transform util vps vui)
  list(APPEND de265_sources ${de265_dir}/${name}.cc)
endforeach()
# The SSE4.1 kernels are compiled for SSE4.1; sse.cc, which picks them by CPUID, is not.
set(de265_sse ${de265_dir}/x86/sse-motion.cc ${de265_dir}/x86/sse-dct.cc)
list(APPEND de265_sources ${de265_dir}/x86/sse.cc ${de265_sse})
set_source_files_properties(${de265_sse} PROPERTIES COMPILE_OPTIONS -msse4.1)
if(WIN32)
  list(APPEND de265_sources ${VISTREL_LIBDE265_SOURCE}/extra/win32cond.c)
endif()

if(WIN32)
  # The exports: every function de265.h declares with LIBDE265_API.
  file(READ ${de265_dir}/de265.h de265_header)
  string(REGEX MATCHALL "LIBDE265_API[^;(#]*[ *]de265_[a-zA-Z0-9_]+[ ]*\\(" de265_declared "${de265_header}")
  set(de265_def "LIBRARY libde265.dll\nEXPORTS\n")
  foreach(decl ${de265_declared})
    string(REGEX MATCH "de265_[a-zA-Z0-9_]+[ ]*\\($" name "${decl}")
    string(REGEX REPLACE "[ ]*\\($" "" name "${name}")
    string(APPEND de265_def "  ${name}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/deps/libde265/libde265.def CONTENT "${de265_def}")
  add_library(de265 SHARED ${de265_sources} ${CMAKE_BINARY_DIR}/deps/libde265/libde265.def)
  set_target_properties(de265 PROPERTIES PREFIX "lib" OUTPUT_NAME de265 RUNTIME_OUTPUT_DIRECTORY
                        ${CMAKE_BINARY_DIR}/bin)
  # The mingw runtime (libstdc++, libgcc, winpthreads) inside the DLL, which then needs system DLLs
  # only; stripped of symbols.
  target_link_options(de265 PRIVATE -static -static-libgcc -static-libstdc++ -s)
else()
  add_library(de265 STATIC ${de265_sources})
  find_package(Threads REQUIRED)
  target_link_libraries(de265 PRIVATE Threads::Threads)
endif()
target_include_directories(de265 SYSTEM PUBLIC ${VISTREL_LIBDE265_SOURCE})
target_include_directories(de265 PRIVATE ${de265_dir})
target_compile_definitions(de265 PRIVATE HAVE_SSE4_1=1 HAVE_STDINT_H=1 HAVE_MALLOC_H=1)
if(NOT WIN32)
  target_compile_definitions(de265 PRIVATE HAVE_POSIX_MEMALIGN=1)
endif()
# Optimised even in the Debug tests; its warnings are not ours to fix. The fuzz build gives it
# libFuzzer's coverage and ASan, like the code that calls it.
target_compile_options(de265 PRIVATE -O2 -w)
if(VISTREL_FUZZ)
  target_compile_options(de265 PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()
