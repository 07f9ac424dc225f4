# Host build: the platform-free code, its tests and benchmarks.
file(GLOB VISTREL_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*.cpp)
# The JPEG, JPEG 2000, JPEG XL, PNG and BMP test files are made by the same code in the native and the Wine tests.
add_executable(native_tests ${VISTREL_NATIVE_TESTS} tests/support/test_jpeg.cpp tests/support/test_jpeg2000.cpp tests/support/test_gif.cpp tests/support/test_apng.cpp
  tests/support/raw_pictures.cpp tests/support/test_isobmff.cpp tests/support/test_jxl.cpp)
target_include_directories(native_tests PRIVATE tests)
target_link_libraries(native_tests PRIVATE vistrel_core GTest::gtest_main)
target_compile_options(native_tests PRIVATE ${VISTREL_WARNINGS})
target_compile_definitions(native_tests PRIVATE
  VISTREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VISTREL_TESTDATA_DIR="${CMAKE_SOURCE_DIR}/../shared/testdata")
gtest_discover_tests(native_tests DISCOVERY_MODE PRE_TEST)

# Platform-free test helpers (the Windows build takes every file of tests/support).
add_library(native_test_support STATIC tests/support/test_chart.cpp)
target_include_directories(native_test_support PUBLIC tests)
target_compile_options(native_test_support PRIVATE ${VISTREL_WARNINGS})
target_link_libraries(native_test_support PUBLIC vistrel_core)

file(GLOB VISTREL_NATIVE_BENCHES CONFIGURE_DEPENDS bench/native/*.cpp)
foreach(src ${VISTREL_NATIVE_BENCHES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE vistrel_core native_test_support)
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS})
endforeach()

# Writes the JPEG fuzzer's committed seeds; run by hand only (see the program's comment).
add_executable(make_jpeg_corpus EXCLUDE_FROM_ALL fuzz/make_jpeg_corpus.cpp tests/support/test_jpeg.cpp)
target_include_directories(make_jpeg_corpus PRIVATE tests)
target_link_libraries(make_jpeg_corpus PRIVATE jpeg_turbo)
target_compile_options(make_jpeg_corpus PRIVATE ${VISTREL_WARNINGS})

# No folder of src/ includes one that docs/architecture.md puts above it.
add_test(NAME layering COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check_layers.py ${CMAKE_SOURCE_DIR})

# Writes the PNG and BMP fuzzers' committed seeds; run by hand only (see the program's comment).
add_executable(make_png_bmp_corpus EXCLUDE_FROM_ALL fuzz/make_png_bmp_corpus.cpp tests/support/raw_pictures.cpp)
target_include_directories(make_png_bmp_corpus PRIVATE tests)
target_compile_options(make_png_bmp_corpus PRIVATE ${VISTREL_WARNINGS})

# Writes the GIF frame fuzzer's committed seeds; run by hand only (see the program's comment).
add_executable(make_gif_corpus EXCLUDE_FROM_ALL fuzz/make_gif_corpus.cpp tests/support/test_gif.cpp)
target_include_directories(make_gif_corpus PRIVATE tests)
target_compile_options(make_gif_corpus PRIVATE ${VISTREL_WARNINGS})

# Writes the APNG frame fuzzer's committed seeds; run by hand only (see the program's comment).
add_executable(make_apng_corpus EXCLUDE_FROM_ALL fuzz/make_apng_corpus.cpp tests/support/test_apng.cpp)
target_include_directories(make_apng_corpus PRIVATE tests)
target_link_libraries(make_apng_corpus PRIVATE vistrel_zlib)
target_compile_options(make_apng_corpus PRIVATE ${VISTREL_WARNINGS})
