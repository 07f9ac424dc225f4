# Host build: the platform-free code, its tests and benchmarks.
file(GLOB VISTREL_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*.cpp)
add_executable(native_tests ${VISTREL_NATIVE_TESTS})
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
