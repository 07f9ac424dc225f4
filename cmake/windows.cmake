# Cross build: vistrel.exe, its Win32 code, and the tests that run under Wine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Every test program runs under Wine with the prefix kept inside this build tree.
set(VISTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${VISTREL_WINEPREFIX})

add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
# Static runtime: vistrel.exe needs nothing beyond the system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)
# Under Wine every DLL a program imports is loaded, with its own imports, before the program's
# first line, and the first picture needs neither the imaging library (GDI+), nor the shell's
# string and stream helpers, nor alpha blending: those are bound on their first call instead
# (delay-load import libraries made here from mingw's own, and libdelayimp's binder).
find_program(VISTREL_NM NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-nm x86_64-w64-mingw32-nm REQUIRED)
find_program(VISTREL_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
set(VISTREL_DELAY_LOADED "")
foreach(dll gdiplus shlwapi msimg32)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a OUTPUT_VARIABLE import
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(delay ${CMAKE_BINARY_DIR}/delay-load/lib${dll}_delay.a)
  if(NOT EXISTS ${delay} OR ${import} IS_NEWER_THAN ${delay})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delay-load)
    execute_process(COMMAND ${CMAKE_SOURCE_DIR}/cmake/delay-load.sh ${VISTREL_NM} ${VISTREL_DLLTOOL} ${import}
                            ${dll}.dll ${delay}
                    RESULT_VARIABLE made)
    if(NOT made EQUAL 0)
      message(FATAL_ERROR "Could not make the delay-load library for ${dll}.dll")
    endif()
  endif()
  list(APPEND VISTREL_DELAY_LOADED ${delay})
endforeach()
set(VISTREL_WIN32_LIBS ${VISTREL_DELAY_LOADED} delayimp comctl32 shell32 ole32 gdi32 user32 kernel32)

# One static library per folder, each linked only to the folder below it in the layer order of
# docs/architecture.md, so a use of a folder above fails to link (the include check catches the
# header side). Each holds the folder's platform-free files (tested natively as vistrel_core)
# and its Win32 ones.
set(VISTREL_LAYERS app input commands browse view decode picture imagelist exif framework)
set(below "")
list(REVERSE VISTREL_LAYERS)
foreach(layer ${VISTREL_LAYERS})
  file(GLOB_RECURSE layer_sources CONFIGURE_DEPENDS src/${layer}/*.cpp src/${layer}/*.c)
  list(FILTER layer_sources EXCLUDE REGEX "src/app/win32/main\\.cpp$")
  add_library(vistrel_${layer} STATIC ${layer_sources})
  target_include_directories(vistrel_${layer} PUBLIC src resources)
  target_compile_options(vistrel_${layer} PRIVATE ${VISTREL_WARNINGS})
  if(below)
    target_link_libraries(vistrel_${layer} PUBLIC vistrel_${below})
  else()
    target_link_libraries(vistrel_${layer} PUBLIC ${VISTREL_WIN32_LIBS})
  endif()
  set(below ${layer})
endforeach()
target_link_libraries(vistrel_decode PUBLIC jpeg_turbo vistrel_spng openjpeg lcms2 vistrel_webp dav1d jxl_dec jxl_threads giflib)
# libheif.dll and libde265.dll are built beside vistrel.exe but not imported by it: the HEIF
# decoder loads them at its first use (decode/heif/win32/heif_library), so a start never waits for them.
target_include_directories(vistrel_decode SYSTEM PUBLIC ${VISTREL_LIBHEIF_SOURCE})
set_target_properties(vistrel_core PROPERTIES EXCLUDE_FROM_ALL TRUE)
# What the program and its tests link: the top layer, and with it every one below.
add_library(vistrel_win INTERFACE)
target_link_libraries(vistrel_win INTERFACE vistrel_app)

# The version is set once, in project(); the resource script reads it from this header.
configure_file(resources/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)

add_executable(vistrel WIN32 src/app/win32/main.cpp resources/vistrel.rc)
target_compile_options(vistrel PRIVATE ${VISTREL_WARNINGS})
target_link_options(vistrel PRIVATE -municode)
target_include_directories(vistrel PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(vistrel PRIVATE vistrel_win)
add_dependencies(vistrel heif de265)
set_source_files_properties(resources/vistrel.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/vistrel.ico;${CMAKE_SOURCE_DIR}/resources/vistrel.manifest;${CMAKE_SOURCE_DIR}/resources/resource.h;${CMAKE_BINARY_DIR}/generated/version.h")

# Paths the tests need, in both spellings: the Linux one and the one Wine maps under Z:.
get_filename_component(VISTREL_TESTDATA_REAL ${CMAKE_SOURCE_DIR}/../shared/testdata ABSOLUTE)
function(vistrel_wine_path out path)
  string(REPLACE "/" "\\\\" p "${path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()
vistrel_wine_path(VISTREL_SOURCE_DIR_W ${CMAKE_SOURCE_DIR})
vistrel_wine_path(VISTREL_TESTDATA_DIR_W ${VISTREL_TESTDATA_REAL})
vistrel_wine_path(VISTREL_BINARY_DIR_W ${CMAKE_BINARY_DIR})
configure_file(tests/generated_paths.h.in ${CMAKE_BINARY_DIR}/generated/generated_paths.h @ONLY)

file(GLOB VISTREL_TEST_SUPPORT CONFIGURE_DEPENDS tests/support/*.cpp)
add_library(test_support STATIC EXCLUDE_FROM_ALL ${VISTREL_TEST_SUPPORT})
target_include_directories(test_support PUBLIC tests ${CMAKE_BINARY_DIR}/generated)
target_compile_options(test_support PRIVATE ${VISTREL_WARNINGS})
target_link_libraries(test_support PUBLIC vistrel_win GTest::gtest)

file(GLOB VISTREL_WINE_TESTS CONFIGURE_DEPENDS tests/wine/*.cpp)
add_executable(wine_tests ${VISTREL_WINE_TESTS})
target_compile_options(wine_tests PRIVATE ${VISTREL_WARNINGS})
target_link_libraries(wine_tests PRIVATE test_support GTest::gtest_main)
gtest_discover_tests(wine_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RESOURCE_LOCK screen FIXTURES_REQUIRED jxl_pictures)
# The JPEG XL scenario's pictures, made by cjxl when the tests run (tests/jxl/make_jxl_pictures.sh;
# without cjxl it notes why and the scenario skips).
add_test(NAME jxl_pictures COMMAND bash ${CMAKE_SOURCE_DIR}/tests/jxl/make_jxl_pictures.sh ${CMAKE_BINARY_DIR}/jxl-pictures)
set_tests_properties(jxl_pictures PROPERTIES FIXTURES_SETUP jxl_pictures)

# End-to-end scenarios start the real vistrel.exe; they share the screen and the settings file.
file(GLOB VISTREL_E2E_TESTS CONFIGURE_DEPENDS tests/e2e/*.cpp)
add_executable(e2e_tests ${VISTREL_E2E_TESTS})
target_compile_options(e2e_tests PRIVATE ${VISTREL_WARNINGS})
target_link_libraries(e2e_tests PRIVATE test_support GTest::gtest_main)
add_dependencies(e2e_tests vistrel)
add_dependencies(wine_tests vistrel)
gtest_discover_tests(e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 180)

# Small Windows tools used by the scripts (screenshots of the running viewer and the like).
file(GLOB VISTREL_TOOLS CONFIGURE_DEPENDS tests/tools/*.cpp)
foreach(src ${VISTREL_TOOLS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS})
  target_link_libraries(${name} PRIVATE test_support)
endforeach()

# Benchmarks print figures; they are not tests.
file(GLOB VISTREL_WINE_BENCHES CONFIGURE_DEPENDS bench/wine/*.cpp)
list(FILTER VISTREL_WINE_BENCHES EXCLUDE REGEX "bench/wine/bare_window\\.cpp$")
# The least window a program can show, timed against vistrel.exe's start: a GUI program that
# links only what any Win32 program does.
add_executable(bare_window WIN32 bench/wine/bare_window.cpp)
target_compile_options(bare_window PRIVATE ${VISTREL_WARNINGS})
target_link_options(bare_window PRIVATE -municode)
target_include_directories(bare_window PRIVATE src)
target_link_libraries(bare_window PRIVATE gdi32 user32 kernel32)
foreach(src ${VISTREL_WINE_BENCHES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE ${VISTREL_WARNINGS})
  target_link_libraries(${name} PRIVATE test_support)
endforeach()

# The viewer window's own tests create it from its real template.
target_sources(wine_tests PRIVATE resources/vistrel.rc)

# The installer and the portable zip, and the scenario that installs, uses and removes the first.
include(cmake/packaging.cmake)

# The colour scenario's pictures: tagged by ImageMagick with free profiles, references made by
# Little CMS's own tools (tests/colour/make_colour_pictures.sh).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/colour-pictures/made
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/colour/make_colour_pictures.sh ${CMAKE_BINARY_DIR}/colour-pictures
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/colour-pictures/made
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/colour/make_colour_pictures.sh)
add_custom_target(colour_pictures DEPENDS ${CMAKE_BINARY_DIR}/colour-pictures/made)
add_dependencies(wine_tests colour_pictures)

# The HEIF scenarios' pictures, written by heif-enc (Debian's libheif-examples) from ImageMagick's
# (tests/heif/make_heif_pictures.sh; without the tools the scenarios skip).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/heif-pictures/made
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/heif/make_heif_pictures.sh ${CMAKE_BINARY_DIR}/heif-pictures
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/heif-pictures/made
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/heif/make_heif_pictures.sh ${CMAKE_SOURCE_DIR}/tests/heif/add_property.py)
add_custom_target(heif_pictures DEPENDS ${CMAKE_BINARY_DIR}/heif-pictures/made)
add_dependencies(wine_tests heif_pictures)
add_dependencies(e2e_tests heif_pictures)
# The HEIF benchmark's bare call links libheif.dll directly (the program loads it).
target_link_libraries(heif_bench PRIVATE heif)
# The AVIF scenario's pictures: drawn by ImageMagick, encoded by avifenc when the tests are built
# (tests/avif/make_avif_pictures.sh).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/avif-pictures/made
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/avif/make_avif_pictures.sh ${CMAKE_BINARY_DIR}/avif-pictures
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/avif-pictures/made
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/avif/make_avif_pictures.sh)
add_custom_target(avif_pictures DEPENDS ${CMAKE_BINARY_DIR}/avif-pictures/made)
add_dependencies(wine_tests avif_pictures)
