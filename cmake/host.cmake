# The host build: the same logic over the POSIX back-end, for the console
# front-end, the builder, unit tests, sanitizers, fuzzing and benchmarks.
option(SFX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(SFX_FUZZ "Build the libFuzzer targets (clang)" OFF)

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(SFX_SANITIZE OR SFX_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -g)
  add_link_options(-fsanitize=address,undefined)
  if(SFX_FUZZ)
    # Coverage instrumentation for libFuzzer in everything, the library
    # included; only the fuzz targets link the fuzzer's main (host_fuzz.cmake).
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

add_library(sfxcore STATIC ${CORE_SOURCES} ${POSIX_BACKEND})
target_compile_definitions(sfxcore PUBLIC SFX_HOST=1)

find_package(ZLIB REQUIRED)

# Each tool, test and benchmark folder brings its own CMake file.
file(GLOB HOST_EXTRA CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/host_*.cmake)
foreach(extra ${HOST_EXTRA})
  include(${extra})
endforeach()
