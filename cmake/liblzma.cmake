# liblzma for mksfx --method lzma, host and Windows alike: only its raw LZMA1
# encoder and what it stands on, compiled here from Debian's source package
# xz-utils (scripts/fetch_xz.sh puts it in build/deps/xz) with the
# configuration in cmake/liblzma/config.h, and with one addition
# (cmake/liblzma/match_source.patch): the encoder can take its matches from
# a match finder run ahead of it on another thread, which writes the same
# stream. The patched copy of the source lives in the build folder.
set(XZ_ORIGINAL ${CMAKE_SOURCE_DIR}/build/deps/xz/src)
if(NOT EXISTS ${XZ_ORIGINAL}/liblzma/lzma/lzma_encoder.c)
  message(FATAL_ERROR "liblzma's source is missing in ${XZ_ORIGINAL}: "
                      "run scripts/setup.sh, which fetches Debian's source package xz-utils")
endif()
set(XZ_PATCH ${CMAKE_SOURCE_DIR}/cmake/liblzma/match_source.patch)
set(XZ_COPY ${CMAKE_BINARY_DIR}/xz-patched)
file(READ ${CMAKE_SOURCE_DIR}/build/deps/xz/.debian-source-version XZ_VERSION)
file(SHA256 ${XZ_PATCH} XZ_PATCH_HASH)
set(XZ_STAMP "${XZ_VERSION} ${XZ_PATCH_HASH}")
if(EXISTS ${XZ_COPY}/.stamp)
  file(READ ${XZ_COPY}/.stamp XZ_OLD_STAMP)
endif()
if(NOT "${XZ_OLD_STAMP}" STREQUAL "${XZ_STAMP}")
  file(REMOVE_RECURSE ${XZ_COPY})
  file(COPY ${XZ_ORIGINAL}/liblzma ${XZ_ORIGINAL}/common DESTINATION ${XZ_COPY})
  execute_process(COMMAND patch -s -p1 -d ${XZ_COPY} -i ${XZ_PATCH} RESULT_VARIABLE XZ_PATCHED)
  if(NOT XZ_PATCHED EQUAL 0)
    message(FATAL_ERROR "cmake/liblzma/match_source.patch does not apply to liblzma ${XZ_VERSION}")
  endif()
  file(WRITE ${XZ_COPY}/.stamp "${XZ_STAMP}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${XZ_PATCH})

set(XZ_SOURCE ${XZ_COPY}/liblzma)
add_library(sfx_liblzma STATIC
            ${XZ_SOURCE}/common/common.c ${XZ_SOURCE}/common/filter_common.c
            ${XZ_SOURCE}/common/filter_encoder.c ${XZ_SOURCE}/lz/lz_encoder.c ${XZ_SOURCE}/lz/lz_encoder_mf.c
            ${XZ_SOURCE}/lzma/lzma_encoder.c ${XZ_SOURCE}/lzma/lzma_encoder_optimum_normal.c
            ${XZ_SOURCE}/lzma/lzma_encoder_optimum_fast.c ${XZ_SOURCE}/lzma/lzma_encoder_presets.c
            ${XZ_SOURCE}/lzma/fastpos_table.c ${XZ_SOURCE}/rangecoder/price_table.c
            ${XZ_SOURCE}/common/filter_buffer_encoder.c ${XZ_SOURCE}/check/crc32_table.c)
target_compile_definitions(sfx_liblzma PRIVATE HAVE_CONFIG_H PUBLIC LZMA_API_STATIC)
# The internal headers are public too: the builder's match finder thread
# (tools/mksfx/pack/lzma_match_source.cpp) drives the match finder itself.
target_include_directories(sfx_liblzma PRIVATE ${CMAKE_SOURCE_DIR}/cmake/liblzma ${XZ_SOURCE}/simple ${XZ_SOURCE}/delta
                           PUBLIC ${XZ_SOURCE}/api ${XZ_SOURCE}/common ${XZ_SOURCE}/check ${XZ_SOURCE}/lz
                           ${XZ_SOURCE}/rangecoder ${XZ_SOURCE}/lzma ${XZ_COPY}/common)
target_compile_options(sfx_liblzma PRIVATE -O3 -w)
