# dav1d (the AV1 decoder of AVIF pictures), from Debian's source package that scripts/deps.sh
# unpacks into build/deps/. Its own build is meson's; this compiles the same library as one static
# target: the common C files once, the bit-depth templates once per depth (8 and 16, with
# BITDEPTH set), the x86-64 assembly through nasm, and the config.h, config.asm and version
# headers its meson build would generate. No tools, tests or examples.
set(VISTREL_DAV1D_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/dav1d-1.0.0
    CACHE PATH "Unpacked dav1d 1.0.0 source package (scripts/deps.sh fetches it)")
option(VISTREL_DAV1D_ASM "Build dav1d's x86-64 assembly (nasm)" ON)
set(d ${VISTREL_DAV1D_SOURCE})
if(NOT EXISTS ${d}/src/lib.c)
  message(FATAL_ERROR "No dav1d source at ${VISTREL_DAV1D_SOURCE}: run scripts/deps.sh")
endif()
find_program(VISTREL_NASM nasm)
if(VISTREL_DAV1D_ASM AND NOT VISTREL_NASM)
  message(FATAL_ERROR "dav1d's assembly needs nasm (scripts/deps.sh installs it)")
endif()

set(dav1d_generated ${CMAKE_BINARY_DIR}/deps/dav1d)
if(VISTREL_DAV1D_ASM)
  set(dav1d_asm 1)
else()
  set(dav1d_asm 0)
endif()
# The assembly keeps 32-byte stack alignment where the compiler can be told to align its frames
# to 64 bytes (the entry points then realign what their callers give them), as meson's build
# checks; mingw's gcc cannot (Win64 fixes 16), and the assembly then aligns for itself.
include(CheckCCompilerFlag)
check_c_compiler_flag(-mpreferred-stack-boundary=6 VISTREL_DAV1D_GCC_STACK)
check_c_compiler_flag(-mstack-alignment=64 VISTREL_DAV1D_CLANG_STACK)
set(dav1d_stack_alignment 32)
if(VISTREL_DAV1D_GCC_STACK)
  set(dav1d_stack_flags -mpreferred-stack-boundary=6)
  set(dav1d_entry_flags -mincoming-stack-boundary=4)
elseif(VISTREL_DAV1D_CLANG_STACK)
  set(dav1d_stack_flags -mstack-alignment=64)
  set(dav1d_entry_flags -mstackrealign)
else()
  set(dav1d_stack_flags)
  set(dav1d_entry_flags)
  set(dav1d_stack_alignment 16)
endif()
if(WIN32)
  set(dav1d_platform "#define _WIN32_WINNT 0x0601
#define UNICODE 1
#define _UNICODE 1
#define __USE_MINGW_ANSI_STDIO 1
#define _FILE_OFFSET_BITS 64
#define HAVE_ALIGNED_MALLOC 1
#define HAVE_UNISTD_H 1
#define HAVE_IO_H 1")
  set(dav1d_nasm_format win64)
else()
  set(dav1d_platform "#define HAVE_CLOCK_GETTIME 1
#define HAVE_POSIX_MEMALIGN 1
#define HAVE_UNISTD_H 1
#define HAVE_DLSYM 1
#define HAVE_PTHREAD_GETAFFINITY_NP 1")
  set(dav1d_nasm_format elf64)
endif()
file(CONFIGURE OUTPUT ${dav1d_generated}/config.h CONTENT
"#define ARCH_AARCH64 0
#define ARCH_ARM 0
#define ARCH_PPC64LE 0
#define ARCH_X86 1
#define ARCH_X86_32 0
#define ARCH_X86_64 1
#define CONFIG_16BPC 1
#define CONFIG_8BPC 1
#define CONFIG_LOG 0
#define ENDIANNESS_BIG 0
#define HAVE_ASM ${dav1d_asm}
#define STACK_ALIGNMENT ${dav1d_stack_alignment}
${dav1d_platform}
")
file(CONFIGURE OUTPUT ${dav1d_generated}/config.asm CONTENT
"%define ARCH_X86_32 0
%define ARCH_X86_64 1
%define PIC 1
%define STACK_ALIGNMENT ${dav1d_stack_alignment}
%define FORCE_VEX_ENCODING 0
%define private_prefix dav1d
")
file(CONFIGURE OUTPUT ${dav1d_generated}/vcs_version.h CONTENT "#define DAV1D_VERSION \"1.0.0\"\n")
file(CONFIGURE OUTPUT ${dav1d_generated}/version.h CONTENT
"#ifndef DAV1D_VERSION_H
#define DAV1D_VERSION_H
#define DAV1D_API_VERSION_MAJOR 6
#define DAV1D_API_VERSION_MINOR 6
#define DAV1D_API_VERSION_PATCH 0
#endif
")

set(dav1d_common)
foreach(name cdf cpu data decode dequant_tables getbits intra_edge itx_1d lf_mask log mem msac obu picture
             qm ref refmvs scan tables warpmv wedge)
  list(APPEND dav1d_common ${d}/src/${name}.c)
endforeach()
set(dav1d_templates)
foreach(name cdef_apply cdef fg_apply filmgrain ipred_prepare ipred itx lf_apply loopfilter looprestoration
             lr_apply mc recon)
  list(APPEND dav1d_templates ${d}/src/${name}_tmpl.c)
endforeach()
if(VISTREL_DAV1D_ASM)
  list(APPEND dav1d_common ${d}/src/x86/cpu.c ${d}/src/x86/msac_init.c ${d}/src/x86/refmvs_init.c)
  foreach(name cdef filmgrain ipred itx loopfilter looprestoration mc)
    list(APPEND dav1d_templates ${d}/src/x86/${name}_init_tmpl.c)
  endforeach()
endif()
if(WIN32)
  list(APPEND dav1d_common ${d}/src/win32/thread.c)  # dav1d's own threads over Win32
endif()

# Its own warnings are not ours to fix; optimised even in the Debug tests (AV1's loops are slow
# at -O0). The fuzz build gives it libFuzzer's coverage and ASan like the code that calls it; the
# sanitizer build's flags already apply to every target.
set(dav1d_flags -std=c99 -O2 -w -fvisibility=hidden ${dav1d_stack_flags})
if(VISTREL_FUZZ)
  list(APPEND dav1d_flags -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
elseif(NOT VISTREL_SANITIZE)
  list(APPEND dav1d_flags -fomit-frame-pointer -ffast-math)
endif()
if(WIN32)
  set(dav1d_definitions _POSIX_C_SOURCE=200112L)
  if(NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    list(APPEND dav1d_flags -mcmodel=small)
  endif()
else()
  set(dav1d_definitions _GNU_SOURCE)
endif()
set(dav1d_includes ${dav1d_generated} ${d} ${d}/include/dav1d ${d}/include)

function(dav1d_objects name)
  add_library(${name} OBJECT ${ARGN})
  target_include_directories(${name} PRIVATE ${dav1d_includes})
  target_compile_options(${name} PRIVATE ${dav1d_flags})
  target_compile_definitions(${name} PRIVATE ${dav1d_definitions})
endfunction()
dav1d_objects(dav1d_entry ${d}/src/lib.c ${d}/src/thread_task.c)
target_compile_options(dav1d_entry PRIVATE ${dav1d_entry_flags})
dav1d_objects(dav1d_8bit ${dav1d_templates})
target_compile_definitions(dav1d_8bit PRIVATE BITDEPTH=8)
dav1d_objects(dav1d_16bit ${dav1d_templates})
target_compile_definitions(dav1d_16bit PRIVATE BITDEPTH=16)

set(dav1d_asm_objects)
if(VISTREL_DAV1D_ASM)
  set(dav1d_asm_names cpuid msac refmvs cdef_avx2 itx_avx2 looprestoration_avx2 cdef_sse itx_sse
    # 8 bits
    cdef_avx512 filmgrain_avx512 ipred_avx512 itx_avx512 loopfilter_avx512 looprestoration_avx512
    mc_avx512 filmgrain_avx2 ipred_avx2 loopfilter_avx2 mc_avx2 filmgrain_sse ipred_sse loopfilter_sse
    looprestoration_sse mc_sse
    # 16 bits
    filmgrain16_avx512 ipred16_avx512 looprestoration16_avx512 mc16_avx512 cdef16_avx2 filmgrain16_avx2
    ipred16_avx2 itx16_avx2 loopfilter16_avx2 looprestoration16_avx2 mc16_avx2 cdef16_sse
    filmgrain16_sse ipred16_sse itx16_sse loopfilter16_sse looprestoration16_sse mc16_sse)
  foreach(name ${dav1d_asm_names})
    set(object ${dav1d_generated}/asm/${name}.o)
    # The includes are named rather than read from a depfile: Ninja lost the depfile CMake
    # rewrites, and rebuilt every object (and relinked the library) on every build.
    add_custom_command(OUTPUT ${object}
      COMMAND ${VISTREL_NASM} -f ${dav1d_nasm_format} -I ${d}/src/ -I ${dav1d_generated}/
              ${d}/src/x86/${name}.asm -o ${object}
      DEPENDS ${d}/src/x86/${name}.asm ${dav1d_generated}/config.asm ${d}/src/ext/x86/x86inc.asm
              ${d}/src/x86/filmgrain_common.asm
      COMMENT "nasm ${name}.asm"
      VERBATIM)
    list(APPEND dav1d_asm_objects ${object})
  endforeach()
  set_source_files_properties(${dav1d_asm_objects} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
endif()

add_library(dav1d STATIC ${dav1d_common} ${dav1d_asm_objects} $<TARGET_OBJECTS:dav1d_entry>
            $<TARGET_OBJECTS:dav1d_8bit> $<TARGET_OBJECTS:dav1d_16bit>)
target_include_directories(dav1d PRIVATE ${dav1d_includes})
target_include_directories(dav1d SYSTEM PUBLIC ${d}/include ${dav1d_generated})
target_compile_options(dav1d PRIVATE ${dav1d_flags})
target_compile_definitions(dav1d PRIVATE ${dav1d_definitions})
if(NOT WIN32)
  find_package(Threads REQUIRED)
  target_link_libraries(dav1d PUBLIC Threads::Threads m ${CMAKE_DL_LIBS})
endif()
