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
