# The codec benchmark (Google Benchmark): this decoder against zlib's inflate.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(sfx_inflate_bench ${CMAKE_SOURCE_DIR}/bench/inflate_bench.cpp)
  target_link_libraries(sfx_inflate_bench PRIVATE sfxcore benchmark::benchmark ZLIB::ZLIB)
else()
  message(STATUS "Google Benchmark not found: sfx_inflate_bench is not built")
endif()
