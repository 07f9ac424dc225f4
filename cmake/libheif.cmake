# libheif (the HEIF container and its colour conversion), from Debian's source package that
# scripts/deps.sh unpacks into build/deps/, with its libde265 decoder compiled in: decoding only,
# no encoder, no other codec, no plugin loading. LGPL: for Windows it is libheif.dll beside
# vistrel.exe (linked to libde265.dll), exporting only the C API of heif.h, with the mingw runtime
# linked statically, so a user can replace either; vistrel.exe loads it at the first HEIF decode.
# Natively and for the fuzzers it is a static library with the preset's instrumentation.
set(VISTREL_LIBHEIF_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/libheif-1.15.1
    CACHE PATH "Unpacked libheif 1.15.1 source package (scripts/deps.sh fetches it)")
set(heif_dir ${VISTREL_LIBHEIF_SOURCE}/libheif)
if(NOT EXISTS ${heif_dir}/heif.h)
  message(FATAL_ERROR "No libheif source at ${VISTREL_LIBHEIF_SOURCE}: run scripts/deps.sh")
endif()

set(heif_sources)
foreach(name bitstream box error heif heif_context heif_file heif_image heif_hevc heif_avif
             heif_colorconversion heif_plugin_registry heif_plugin nclx heif_init
             metadata_compression common_utils plugins/heif_decoder_libde265)
  list(APPEND heif_sources ${heif_dir}/${name}.cc)
endforeach()
# libde265's worker threads for each picture: the plugin's fixed count of one replaced by ours
# (cmake/libheif/hevc_threads.cc), its call renamed for that one file.
list(APPEND heif_sources ${CMAKE_SOURCE_DIR}/cmake/libheif/hevc_threads.cc)
set_source_files_properties(${heif_dir}/plugins/heif_decoder_libde265.cc PROPERTIES COMPILE_DEFINITIONS
                            de265_start_worker_threads=vistrel_de265_start_worker_threads)

if(WIN32)
  # The exports: every function heif.h declares with LIBHEIF_API.
  file(READ ${heif_dir}/heif.h heif_header)
  string(REGEX MATCHALL "LIBHEIF_API[^;(#]*[ *]heif_[a-zA-Z0-9_]+[ ]*\\(" heif_declared "${heif_header}")
  set(heif_def "LIBRARY libheif.dll\nEXPORTS\n  vistrel_set_hevc_threads\n")
  foreach(decl ${heif_declared})
    string(REGEX MATCH "heif_[a-zA-Z0-9_]+[ ]*\\($" name "${decl}")
    string(REGEX REPLACE "[ ]*\\($" "" name "${name}")
    # Declared by heif.h but defined nowhere in 1.15.1.
    if(NOT name STREQUAL "heif_image_remove_color_profile")
      string(APPEND heif_def "  ${name}\n")
    endif()
  endforeach()
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/deps/libheif/libheif.def CONTENT "${heif_def}")
  add_library(heif SHARED ${heif_sources} ${CMAKE_BINARY_DIR}/deps/libheif/libheif.def)
  set_target_properties(heif PROPERTIES PREFIX "lib" OUTPUT_NAME heif RUNTIME_OUTPUT_DIRECTORY
                        ${CMAKE_BINARY_DIR}/bin)
  # The mingw runtime (libstdc++, libgcc, winpthreads) inside the DLL, which then needs system DLLs
  # only; stripped of symbols.
  target_link_options(heif PRIVATE -static -static-libgcc -static-libstdc++ -s)
else()
  add_library(heif STATIC ${heif_sources})
  find_package(Threads REQUIRED)
  target_link_libraries(heif PRIVATE Threads::Threads)
endif()
target_link_libraries(heif PRIVATE de265)
# Callers include <libheif/heif.h>.
target_include_directories(heif SYSTEM PUBLIC ${VISTREL_LIBHEIF_SOURCE})
target_include_directories(heif PRIVATE ${heif_dir})
# Grid tiles decoded on threads of their own (heif_context_set_max_decoding_threads).
target_compile_definitions(heif PRIVATE HAVE_LIBDE265=1 ENABLE_MULTITHREADING_SUPPORT=1
                           ENABLE_PARALLEL_TILE_DECODING=1)
target_compile_options(heif PRIVATE -O2 -w)
if(VISTREL_FUZZ)
  target_compile_options(heif PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()
