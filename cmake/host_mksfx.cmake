# mksfx, the builder of self-extracting programs (host build), and its tests.
file(GLOB_RECURSE MKSFX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/mksfx/*.cpp)
list(FILTER MKSFX_SOURCES EXCLUDE REGEX ".*_win32\\.cpp$")

# libdeflate (Debian's libdeflate-dev) compresses; zlib joins the pieces and
# combines their CRCs.
find_path(LIBDEFLATE_INCLUDE libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY deflate REQUIRED)
find_package(Threads REQUIRED)

add_executable(mksfx ${MKSFX_SOURCES})
target_include_directories(mksfx PRIVATE ${LIBDEFLATE_INCLUDE})
# liblzma (the version of Debian's liblzma-dev, built here) for --method lzma.
include(cmake/liblzma.cmake)
target_link_libraries(mksfx PRIVATE sfxcore ${LIBDEFLATE_LIBRARY} ZLIB::ZLIB sfx_liblzma Threads::Threads)
# The stubs of the Windows builds (32-bit; 64-bit for --x64), used when
# --stub is not given and no stub lies next to the program.
target_compile_definitions(mksfx PRIVATE MKSFX_DEFAULT_STUB="${CMAKE_SOURCE_DIR}/build/win32/sfxstub.exe"
                           MKSFX_DEFAULT_STUB64="${CMAKE_SOURCE_DIR}/build/win64/sfxstub.exe")
set_target_properties(mksfx PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

enable_testing()
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(MKSFX_PYTHON ${Python3_EXECUTABLE})
else()
  set(MKSFX_PYTHON python3)   # the tests then fail loudly
endif()
set(MKSFX_TEST_ENV
  MKSFX=$<TARGET_FILE:mksfx>
  UNSFX=${CMAKE_BINARY_DIR}/unsfx
  SFX_SOURCE_DIR=${CMAKE_SOURCE_DIR})
foreach(suite roundtrip password aes wrap refusals reproducible resources exclude zip64 installer lzma)
  add_test(NAME mksfx_${suite}
           COMMAND ${MKSFX_PYTHON} ${CMAKE_SOURCE_DIR}/tests/mksfx/test_${suite}.py)
  set_tests_properties(mksfx_${suite} PROPERTIES ENVIRONMENT "${MKSFX_TEST_ENV}" TIMEOUT 300)
endforeach()
# A file past 4 GiB is packed, read back, tested by four peers: minutes.
set_tests_properties(mksfx_zip64 PROPERTIES TIMEOUT 1200)
# The Windows build of the builder under 32-bit Wine: slow (minutes), skipped
# with a reason when Wine or the Windows build is missing.
# The Windows build of the builder is tested under Wine with the end-to-end
# tests (tests/e2e/run_all.sh), which own the Wine prefix.

