# unsfx, the console front-end of the extraction engine on the host.
file(GLOB UNSFX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/unsfx/*.cpp)
add_executable(unsfx ${UNSFX_SOURCES})
target_link_libraries(unsfx PRIVATE sfxcore)
set_target_properties(unsfx PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
