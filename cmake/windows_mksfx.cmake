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

  include(cmake/liblzma.cmake)

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
  target_link_libraries(mksfx PRIVATE libdeflate_win32 sfx_liblzma /usr/i686-w64-mingw32/lib/libz.a)
endif()
