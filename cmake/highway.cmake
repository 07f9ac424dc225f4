# Highway (the SIMD layer libjxl is written on), from Debian's source package that scripts/deps.sh
# unpacks into build/deps/: the few files of its runtime (target detection and dispatch, aligned
# allocation) compiled here as one static library; no contrib, tests or examples.
#
# Every file that uses Highway is compiled once per SIMD target, so the targets decide most of
# libjxl's build time. VISTREL_HWY_FLAGS (compile options, used by libjxl as well) picks them:
# - Windows: the portable baseline (scalar) plus SSE4 and AVX2, chosen at run time, so the program
#   still runs on any x86-64 processor and uses the vectors most have; AVX-512 is left out
#   (rarely faster here, and a fourth compile of everything).
# - The native and fuzz builds run only on the machine that builds them: one target, SSE4, fixed
#   at compile time (these builds test our code around libjxl, not its other targets).
set(VISTREL_HIGHWAY_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/highway-1.0.3
    CACHE PATH "Unpacked highway 1.0.3 source package (scripts/deps.sh fetches it)")
if(NOT EXISTS ${VISTREL_HIGHWAY_SOURCE}/hwy/targets.cc)
  message(FATAL_ERROR "No highway source at ${VISTREL_HIGHWAY_SOURCE}: run scripts/deps.sh")
endif()

if(WIN32)
  set(VISTREL_HWY_FLAGS "-DHWY_DISABLED_TARGETS=(HWY_SSSE3|HWY_AVX3|HWY_AVX3_DL)")
else()
  set(VISTREL_HWY_FLAGS -DHWY_COMPILE_ONLY_STATIC -msse4.2 -mpclmul -maes)
endif()
# Optimised even in the Debug tests (libjxl at -O0 takes seconds for a small picture). The native
# and fuzz builds give both libraries ASan, like the code that calls them, so every buffer that
# crosses into libjxl is checked; the fuzz build adds libFuzzer's coverage. UBSan, which checks our
# own arithmetic, is left out of libjxl's (not ours to fix, and it doubles the time libjxl takes to
# compile), and line tables are debug information enough for a report's stack.
set(VISTREL_HWY_BUILD_FLAGS -O2 -w ${VISTREL_HWY_FLAGS})
if(NOT WIN32)
  list(APPEND VISTREL_HWY_BUILD_FLAGS -g1)
endif()
if(VISTREL_FUZZ)
  list(APPEND VISTREL_HWY_BUILD_FLAGS -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
elseif(VISTREL_SANITIZE)
  list(APPEND VISTREL_HWY_BUILD_FLAGS -fno-sanitize=undefined)
endif()

add_library(hwy STATIC ${VISTREL_HIGHWAY_SOURCE}/hwy/aligned_allocator.cc
                       ${VISTREL_HIGHWAY_SOURCE}/hwy/per_target.cc ${VISTREL_HIGHWAY_SOURCE}/hwy/targets.cc)
target_include_directories(hwy SYSTEM PUBLIC ${VISTREL_HIGHWAY_SOURCE})
target_compile_options(hwy PRIVATE ${VISTREL_HWY_BUILD_FLAGS})
