# libjpeg-turbo, from Debian's source package that scripts/deps.sh unpacks into build/deps/, built
# as a static library with its SIMD code for whichever compiler this tree uses. Only the library
# is built (none of its tools); its public headers and libjpeg.a are copied into one folder.
include(ExternalProject)

set(VISTREL_LIBJPEG_TURBO_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/libjpeg-turbo-2.1.5
    CACHE PATH "Unpacked libjpeg-turbo 2.1.5 source package (scripts/deps.sh fetches it)")
if(NOT EXISTS ${VISTREL_LIBJPEG_TURBO_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No libjpeg-turbo source at ${VISTREL_LIBJPEG_TURBO_SOURCE}: run scripts/deps.sh")
endif()

set(jpeg_prefix ${CMAKE_BINARY_DIR}/deps/libjpeg-turbo)
set(jpeg_out ${jpeg_prefix}/out)
set(jpeg_library ${jpeg_out}/lib/libjpeg.a)
file(MAKE_DIRECTORY ${jpeg_out}/include ${jpeg_out}/lib)

# The library gets the same instrumentation as the code that calls it: ASan/UBSan in the native
# tests, ASan and libFuzzer's coverage in the fuzz build.
set(jpeg_c_flags "")
if(VISTREL_FUZZ)
  set(jpeg_c_flags "-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer")
elseif(VISTREL_SANITIZE)
  set(jpeg_c_flags "-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all")
endif()
set(jpeg_build_type Release)
if(VISTREL_FUZZ OR VISTREL_SANITIZE)
  set(jpeg_build_type RelWithDebInfo)
endif()

set(jpeg_cmake_args
  -DCMAKE_BUILD_TYPE=${jpeg_build_type}
  -DCMAKE_INSTALL_PREFIX=${jpeg_out}
  -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
  -DCMAKE_C_FLAGS=${jpeg_c_flags}
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
  -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DWITH_ARITH_DEC=ON -DWITH_ARITH_ENC=ON)
if(CMAKE_TOOLCHAIN_FILE)
  list(APPEND jpeg_cmake_args -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
endif()

ExternalProject_Add(libjpeg_turbo_build
  SOURCE_DIR ${VISTREL_LIBJPEG_TURBO_SOURCE}
  PREFIX ${jpeg_prefix}
  BINARY_DIR ${jpeg_prefix}/build
  CMAKE_ARGS ${jpeg_cmake_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target jpeg-static --parallel 2
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different <SOURCE_DIR>/jpeglib.h <SOURCE_DIR>/jmorecfg.h
                  <SOURCE_DIR>/jerror.h <BINARY_DIR>/jconfig.h ${jpeg_out}/include
          COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/libjpeg.a ${jpeg_out}/lib
  BUILD_BYPRODUCTS ${jpeg_library}
  UPDATE_COMMAND ""
  USES_TERMINAL_BUILD ON)

add_library(jpeg_turbo STATIC IMPORTED GLOBAL)
set_target_properties(jpeg_turbo PROPERTIES
  IMPORTED_LOCATION ${jpeg_library}
  INTERFACE_INCLUDE_DIRECTORIES ${jpeg_out}/include)
add_dependencies(jpeg_turbo libjpeg_turbo_build)
