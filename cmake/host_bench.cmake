# The codec benchmark (Google Benchmark): this decoder against zlib's inflate.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(sfx_inflate_bench ${CMAKE_SOURCE_DIR}/bench/inflate_bench.cpp)
  target_link_libraries(sfx_inflate_bench PRIVATE sfxcore benchmark::benchmark ZLIB::ZLIB)
else()
  message(STATUS "Google Benchmark not found: sfx_inflate_bench is not built")
endif()

# The LZMA codec benchmark: this decoder against liblzma's raw decoder.
find_package(LibLZMA REQUIRED)
add_executable(sfx_lzma_bench ${CMAKE_SOURCE_DIR}/bench/lzma_bench.cpp)
target_link_libraries(sfx_lzma_bench PRIVATE sfxcore LibLZMA::LibLZMA)
