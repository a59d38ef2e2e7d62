# The Windows stub: no C runtime, its own entry point, only kernel32, user32,
# comdlg32 and shell32 (and libgcc's helpers).
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1252")

# The 32-bit stub passes arguments with push (a sixth less code than moves
# into a reserved area, and no stack readjustment after every call of a
# Windows function). Windows' toolchain ties that area to stack probes, which
# the stub does without: its whole stack is committed when the thread starts
# (1 MB, in the program's header), so no frame needs to touch the pages
# below it one by one.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(SFX_ENTRY _SfxEntry)
  set(STUB_ARCH_FLAGS -mpreferred-stack-boundary=2 -mno-stack-arg-probe -mno-accumulate-outgoing-args)
  set(STUB_ARCH_LINK "SHELL:-Xlinker --stack -Xlinker 1048576,1048576")
else()
  set(SFX_ENTRY SfxEntry)
endif()

# No -fdata-sections: on PE targets it moves zero-initialised buffers from .bss
# into .data, where they cost file size. No loop-to-library-call patterns:
# there is no C runtime to call. -Oz and no inlining of small functions: the
# stub's size counts for more than its speed (about 300 bytes less code).
# Arrays aligned only as the ABI asks, not padded for vector loads.
set(STUB_COMPILE_FLAGS -Oz -fno-inline-small-functions -malign-data=abi -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -ffunction-sections -fno-stack-protector
    -fno-tree-loop-distribute-patterns
    -fno-threadsafe-statics -fno-ident -fomit-frame-pointer -flto -Wall ${STUB_ARCH_FLAGS})

# The decoders' symbol loops and the CRC-32 run over every byte. The 64-bit
# stub compiles them for speed (-O2: its whole extraction of a deflated
# archive about a tenth faster under wine64, of an LZMA one a quarter, 1 KB
# more code each); the 32-bit product keeps -Oz there too, where the same
# would cost 1 KB of its size.
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set_source_files_properties(${CMAKE_SOURCE_DIR}/codecs/inflate_fast.cpp ${CMAKE_SOURCE_DIR}/codecs/crc32.cpp
      ${CMAKE_SOURCE_DIR}/codecs/crc32_clmul.cpp ${CMAKE_SOURCE_DIR}/codecs/lzma_decoder.cpp PROPERTIES COMPILE_OPTIONS "-O2;-finline-small-functions")
endif()

file(GLOB UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/*.cpp)
file(GLOB UI_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/resources/*.rc)
# The resource script takes in the icons and the manifest: a changed one
# rebuilds the resources.
file(GLOB UI_RESOURCE_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/resources/*.ico
     ${CMAKE_SOURCE_DIR}/ui/resources/*.manifest)
set_source_files_properties(${UI_RESOURCES} PROPERTIES OBJECT_DEPENDS "${UI_RESOURCE_INPUTS}")

add_executable(sfxstub WIN32 ${CORE_SOURCES} ${WIN32_BACKEND} ${UI_SOURCES} ${UI_RESOURCES})
target_compile_options(sfxstub PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${STUB_COMPILE_FLAGS}>)
target_compile_definitions(sfxstub PRIVATE SFX_STUB=1 WIN32_LEAN_AND_MEAN)
set_target_properties(sfxstub PROPERTIES OUTPUT_NAME sfxstub SUFFIX ".exe")
# Link-time optimisation lets the compiler inline and drop across files: the
# stub is one program, and its size matters more than its build time.
target_link_options(sfxstub PRIVATE -flto -Oz -fno-inline-small-functions -malign-data=abi ${STUB_ARCH_FLAGS} -nostdlib -nostartfiles -s -Wl,--gc-sections
    -Wl,-e,${SFX_ENTRY} -Wl,--file-alignment,512 -Wl,--section-alignment,4096
    -Wl,--no-insert-timestamp -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
    -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/stub_sections.ld ${STUB_ARCH_LINK})
set_property(TARGET sfxstub APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/stub_sections.ld)
# Only the four system DLLs; libgcc for the compiler's own helpers.
target_link_libraries(sfxstub PRIVATE kernel32 user32 comdlg32 shell32 gcc)
set_target_properties(sfxstub PROPERTIES LINKER_LANGUAGE CXX)

# Further Windows programs (the builder, the end-to-end test driver) add
# themselves here; they use the normal C runtime.
file(GLOB WINDOWS_EXTRA CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/windows_*.cmake)
foreach(extra ${WINDOWS_EXTRA})
  include(${extra})
endforeach()
