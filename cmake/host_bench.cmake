# The codec benchmark (Google Benchmark): this decoder against zlib's inflate.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(sfx_inflate_bench ${CMAKE_SOURCE_DIR}/bench/inflate_bench.cpp)
  target_link_libraries(sfx_inflate_bench PRIVATE sfxcore benchmark::benchmark ZLIB::ZLIB)
  # The 32-bit program's code path (sfxcore_word32, host_tests.cmake),
  # measured where this machine can run it.
  add_executable(sfx_inflate_bench32 ${CMAKE_SOURCE_DIR}/bench/inflate_bench.cpp)
  target_link_libraries(sfx_inflate_bench32 PRIVATE sfxcore_word32 benchmark::benchmark ZLIB::ZLIB)
else()
  message(STATUS "Google Benchmark not found: sfx_inflate_bench is not built")
endif()

# The LZMA codec benchmark: this decoder against liblzma's raw decoder.
find_package(LibLZMA REQUIRED)
add_executable(sfx_lzma_bench ${CMAKE_SOURCE_DIR}/bench/lzma_bench.cpp)
target_link_libraries(sfx_lzma_bench PRIVATE sfxcore LibLZMA::LibLZMA)

# The cryptography against OpenSSL's libcrypto, with the host's flags and
# with the stub's -Oz (the codec sources compiled again for it).
find_package(OpenSSL QUIET COMPONENTS Crypto)
if(OpenSSL_FOUND)
  add_executable(sfx_crypto_bench ${CMAKE_SOURCE_DIR}/bench/crypto_bench.cpp)
  target_link_libraries(sfx_crypto_bench PRIVATE sfxcore OpenSSL::Crypto)
  file(GLOB CRYPTO_SOURCES ${CMAKE_SOURCE_DIR}/codecs/sha1*.cpp ${CMAKE_SOURCE_DIR}/codecs/hmac_sha1.cpp
       ${CMAKE_SOURCE_DIR}/codecs/pbkdf2.cpp ${CMAKE_SOURCE_DIR}/codecs/aes*.cpp
       ${CMAKE_SOURCE_DIR}/codecs/winzip_aes.cpp ${CMAKE_SOURCE_DIR}/codecs/cpu_x86.cpp)
  add_executable(sfx_crypto_bench_oz ${CMAKE_SOURCE_DIR}/bench/crypto_bench.cpp ${CRYPTO_SOURCES})
  target_compile_options(sfx_crypto_bench_oz PRIVATE -Oz)
  target_link_libraries(sfx_crypto_bench_oz PRIVATE OpenSSL::Crypto)
else()
  message(STATUS "OpenSSL's libcrypto not found: sfx_crypto_bench is not built")
endif()
