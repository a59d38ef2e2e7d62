# The end-to-end test driver: a console program that starts a self-extractor
# under Wine and plays a scenario against its windows. It uses the normal C
# runtime and is built only with the 64-bit toolchain, next to the 64-bit stub.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  add_executable(sfxdriver ${CMAKE_SOURCE_DIR}/tests/e2e/driver/sfxdriver.cpp)
  target_compile_options(sfxdriver PRIVATE -O2 -Wall)
  # Static runtime: the driver must start in a bare Wine prefix.
  target_link_options(sfxdriver PRIVATE -static -static-libgcc -static-libstdc++)
  set_target_properties(sfxdriver PROPERTIES OUTPUT_NAME sfxdriver SUFFIX ".exe")
  # The program a scenario's self-extractor holds and starts after the run.
  add_executable(sfxmarker WIN32 ${CMAKE_SOURCE_DIR}/tests/e2e/driver/marker.cpp)
  target_link_options(sfxmarker PRIVATE -static -static-libgcc)
  target_link_libraries(sfxmarker PRIVATE shell32)
  set_target_properties(sfxmarker PROPERTIES OUTPUT_NAME sfxmarker SUFFIX ".exe")
endif()
