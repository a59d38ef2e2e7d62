# Unit and interoperability tests: every tests/unit/*.cpp goes into one
# GoogleTest program, linked with the test front-end in tests/unit/support/.
enable_testing()
find_package(GTest REQUIRED)
# liblzma: the encoder of the LZMA tests' streams and their peer decoder.
find_package(LibLZMA REQUIRED)
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/support/*.cpp)
add_executable(sfx_tests ${UNIT_TEST_SOURCES})
target_include_directories(sfx_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(sfx_tests PRIVATE sfxcore GTest::gtest GTest::gtest_main ZLIB::ZLIB LibLZMA::LibLZMA)
target_compile_definitions(sfx_tests PRIVATE SFX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             SFX_BINARY_DIR="${CMAKE_BINARY_DIR}")
include(GoogleTest)
gtest_discover_tests(sfx_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)

# The 32-bit program's code paths (32-bit bit buffer, four-byte copies, the
# one-lane CRC-32 folding, one AES block at a time and no SHA extensions), which only the 32-bit stub runs: the same
# sources with the word size forced and the stub's flags, under the
# decoder's and the CRC's tests again.
add_library(sfxcore_word32 STATIC ${CORE_SOURCES} ${POSIX_BACKEND})
target_compile_definitions(sfxcore_word32 PUBLIC SFX_HOST=1 SFX_WORD32=1)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(sfxcore_word32 PRIVATE -Oz -fno-inline-small-functions -malign-data=abi)
endif()
add_executable(sfx_word32_tests ${CMAKE_SOURCE_DIR}/tests/unit/codecs_inflate_zlib_test.cpp
               ${CMAKE_SOURCE_DIR}/tests/unit/codecs_inflate_edge_test.cpp
               ${CMAKE_SOURCE_DIR}/tests/unit/codecs_crc32_test.cpp
               ${CMAKE_SOURCE_DIR}/tests/unit/codecs_crypto_test.cpp
               ${CMAKE_SOURCE_DIR}/tests/unit/support/zip_writer.cpp
               ${CMAKE_SOURCE_DIR}/tests/unit/support/test_front_end.cpp)
target_include_directories(sfx_word32_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(sfx_word32_tests PRIVATE sfxcore_word32 GTest::gtest GTest::gtest_main ZLIB::ZLIB LibLZMA::LibLZMA)
gtest_discover_tests(sfx_word32_tests TEST_PREFIX word32. DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
