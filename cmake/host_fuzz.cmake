# libFuzzer targets (clang, with AddressSanitizer and UndefinedBehaviorSanitizer
# from host.cmake). Configure with -DSFX_FUZZ=ON and CC=clang CXX=clang++;
# scripts/fuzz.sh and scripts/fuzz_check.sh do that in build/fuzz.
if(SFX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SFX_FUZZ needs clang (libFuzzer); configure with CXX=clang++")
  endif()
  set(SFX_FUZZ_TARGETS fuzz_run fuzz_inflate fuzz_huffman fuzz_catalog fuzz_inflate_diff fuzz_lzma fuzz_lzma_diff)
  find_package(LibLZMA REQUIRED)
  add_library(sfxfuzzfront OBJECT ${CMAKE_SOURCE_DIR}/fuzz/fuzz_front_end.cpp)
  foreach(target ${SFX_FUZZ_TARGETS})
    add_executable(${target} ${CMAKE_SOURCE_DIR}/fuzz/${target}.cpp $<TARGET_OBJECTS:sfxfuzzfront>)
    target_link_libraries(${target} PRIVATE sfxcore ZLIB::ZLIB LibLZMA::LibLZMA)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
  add_custom_target(fuzz_targets DEPENDS ${SFX_FUZZ_TARGETS})
endif()
