# End-to-end tests of unsfx on self-extractors assembled from the stub, a
# configuration block and archives of zip, 7z and Python's zipfile.
enable_testing()
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(CLI_PYTHON ${Python3_EXECUTABLE})
else()
  set(CLI_PYTHON python3)   # the tests then fail loudly
endif()
foreach(suite stored overwrite codecs aes signed lzma peer_archives)
  add_test(NAME unsfx_${suite}
           COMMAND ${CLI_PYTHON} ${CMAKE_SOURCE_DIR}/tests/cli/test_${suite}.py)
  set_tests_properties(unsfx_${suite} PROPERTIES
    ENVIRONMENT "UNSFX=$<TARGET_FILE:unsfx>;SFX_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    TIMEOUT 300)
endforeach()
