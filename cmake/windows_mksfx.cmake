# mksfx.exe, the builder for Windows users: a console program with the normal
# C runtime, the same builder sources over the Win32 back-ends, zlib from the
# mingw-w64 zlib package, libdeflate and liblzma built here from Debian's
# source packages (scripts/fetch_libdeflate.sh and scripts/fetch_xz.sh put
# them in build/deps), all linked in statically. Built with the 32-bit toolchain only, so that it
# runs on every Windows the stub runs on.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(LIBDEFLATE_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/libdeflate)
  if(NOT EXISTS ${LIBDEFLATE_SOURCE}/lib/deflate_compress.c)
    message(FATAL_ERROR "libdeflate's source is missing in ${LIBDEFLATE_SOURCE}: "
                        "run scripts/setup.sh, which fetches Debian's source package")
  endif()
  # Only what compressing and the CRC-32 need.
  add_library(libdeflate_win32 STATIC ${LIBDEFLATE_SOURCE}/lib/deflate_compress.c
              ${LIBDEFLATE_SOURCE}/lib/crc32.c ${LIBDEFLATE_SOURCE}/lib/utils.c
              ${LIBDEFLATE_SOURCE}/lib/x86/cpu_features.c)
  target_include_directories(libdeflate_win32 PUBLIC ${LIBDEFLATE_SOURCE})
  target_compile_options(libdeflate_win32 PRIVATE -O2 -w)

  # liblzma: only its raw LZMA1 encoder (what --method lzma needs), with the
  # configuration in cmake/liblzma/config.h.
  set(XZ_SOURCE ${CMAKE_SOURCE_DIR}/build/deps/xz/src/liblzma)
  if(NOT EXISTS ${XZ_SOURCE}/lzma/lzma_encoder.c)
    message(FATAL_ERROR "liblzma's source is missing in ${XZ_SOURCE}: "
                        "run scripts/setup.sh, which fetches Debian's source package xz-utils")
  endif()
  add_library(liblzma_win32 STATIC
              ${XZ_SOURCE}/common/common.c ${XZ_SOURCE}/common/filter_common.c
              ${XZ_SOURCE}/common/filter_encoder.c ${XZ_SOURCE}/lz/lz_encoder.c ${XZ_SOURCE}/lz/lz_encoder_mf.c
              ${XZ_SOURCE}/lzma/lzma_encoder.c ${XZ_SOURCE}/lzma/lzma_encoder_optimum_normal.c
              ${XZ_SOURCE}/lzma/lzma_encoder_optimum_fast.c ${XZ_SOURCE}/lzma/lzma_encoder_presets.c
              ${XZ_SOURCE}/lzma/fastpos_table.c ${XZ_SOURCE}/rangecoder/price_table.c
              ${XZ_SOURCE}/common/filter_buffer_encoder.c ${XZ_SOURCE}/check/crc32_table.c)
  target_compile_definitions(liblzma_win32 PRIVATE HAVE_CONFIG_H PUBLIC LZMA_API_STATIC)
  target_include_directories(liblzma_win32 PRIVATE ${CMAKE_SOURCE_DIR}/cmake/liblzma ${XZ_SOURCE}/common
                             ${XZ_SOURCE}/check ${XZ_SOURCE}/lz ${XZ_SOURCE}/rangecoder ${XZ_SOURCE}/lzma
                             ${XZ_SOURCE}/delta ${XZ_SOURCE}/simple ${XZ_SOURCE}/../common
                             PUBLIC ${XZ_SOURCE}/api)
  target_compile_options(liblzma_win32 PRIVATE -O2 -w)

  file(GLOB_RECURSE MKSFX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/mksfx/*.cpp)
  list(FILTER MKSFX_SOURCES EXCLUDE REGEX ".*_posix\\.cpp$")
  # The stub's own memcpy/memset stand in for a C runtime it does not have;
  # this program has one.
  set(MKSFX_CORE ${CORE_SOURCES} ${WIN32_BACKEND})
  list(FILTER MKSFX_CORE EXCLUDE REGEX ".*crt_win32\\.cpp$")

  add_executable(mksfx ${MKSFX_SOURCES} ${MKSFX_CORE})
  target_compile_options(mksfx PRIVATE -O2 -Wall)
  target_compile_definitions(mksfx PRIVATE WIN32_LEAN_AND_MEAN)
  set_target_properties(mksfx PROPERTIES OUTPUT_NAME mksfx SUFFIX ".exe"
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_link_options(mksfx PRIVATE -static-libgcc -static-libstdc++ -s)
  target_link_libraries(mksfx PRIVATE libdeflate_win32 liblzma_win32 /usr/i686-w64-mingw32/lib/libz.a)
endif()
