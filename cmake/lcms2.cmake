# Little CMS (the colour management engine), from Debian's source package that scripts/deps.sh
# unpacks into build/deps/: its src/*.c compiled here as one static library. Its plug-ins (GPL)
# are not used.
set(VISTREL_LCMS2_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/lcms2-2.14
    CACHE PATH "Unpacked lcms2 2.14 source package (scripts/deps.sh fetches it)")
if(NOT EXISTS ${VISTREL_LCMS2_SOURCE}/include/lcms2.h)
  message(FATAL_ERROR "No lcms2 source at ${VISTREL_LCMS2_SOURCE}: run scripts/deps.sh")
endif()

file(GLOB lcms2_sources ${VISTREL_LCMS2_SOURCE}/src/*.c)
add_library(lcms2 STATIC ${lcms2_sources})
target_include_directories(lcms2 SYSTEM PUBLIC ${VISTREL_LCMS2_SOURCE}/include)
# C++17 has no "register"; the header leaves it out when asked.
target_compile_definitions(lcms2 PUBLIC CMS_NO_REGISTER_KEYWORD=1)
# Optimised even in the Debug tests, its warnings not ours; the fuzz build instruments it like
# the code that calls it.
target_compile_options(lcms2 PRIVATE -O2 -w)
if(VISTREL_FUZZ)
  target_compile_options(lcms2 PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(lcms2 PRIVATE Threads::Threads m)
endif()
