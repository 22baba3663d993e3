# The plug-in DLL. It has no C runtime start-up code: the entry point is
# DllMain itself, nothing of libgcc or libstdc++ is linked, and the only
# runtime import is the build's msvcrt.dll or MSVCR70.dll. Its bytes depend on
# the sources alone: no time stamp, a fixed image base, no paths (it is
# stripped and has no debug information).
enable_language(RC)

set(VELKOR_PLUGIN_SOURCES
  ${PROJECT_SOURCE_DIR}/proxy/proxy.cpp
  ${PROJECT_SOURCE_DIR}/proxy/proxy_state.cpp
  ${PROJECT_SOURCE_DIR}/title/extension_index.cpp
  ${PROJECT_SOURCE_DIR}/title/extension_table.cpp
  ${PROJECT_SOURCE_DIR}/title/title_repair.cpp
  ${PROJECT_SOURCE_DIR}/proxy/velkor.def
  ${PROJECT_SOURCE_DIR}/packaging/velkor.rc)

# The title query runs for every playlist entry, and its code is small: it is
# compiled for speed, the rest of the DLL for size.
set_source_files_properties(
  ${PROJECT_SOURCE_DIR}/title/extension_index.cpp
  ${PROJECT_SOURCE_DIR}/title/title_repair.cpp
  PROPERTIES COMPILE_OPTIONS "$<$<BOOL:$<TARGET_PROPERTY:VELKOR_PLUGIN>>:-O2>")

# The plug-in DLL `target` with the version it reports in its resource.
function(velkor_plugin target major minor patch)
  add_library(${target} SHARED ${VELKOR_PLUGIN_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  set_target_properties(${target} PROPERTIES PREFIX "" VELKOR_PLUGIN ON)
  target_compile_definitions(${target} PRIVATE
    VELKOR_VERSION_MAJOR=${major} VELKOR_VERSION_MINOR=${minor} VELKOR_VERSION_PATCH=${patch})
  # Windows 95 and 98 run on processors without cmov, MMX or SSE (Pentium
  # MMX, K6-2, K6-III, VIA C3): the code is for the 80486, tuned for today's
  # processors. Loops that look like copies stay loops, so that no runtime
  # function beyond strncpy is imported.
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Os -march=i486 -mtune=generic -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector
    -fno-threadsafe-statics -fno-ident -fno-tree-loop-distribute-patterns>)
  target_link_options(${target} PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,--entry,_DllMain@12
    -Wl,--enable-stdcall-fixup
    -Wl,--file-alignment,512
    -Wl,--dynamicbase -Wl,--nxcompat
    -Wl,--no-insert-timestamp
    -Wl,--image-base,0x63300000
    -Wl,-Map,${CMAKE_BINARY_DIR}/${target}.map)
  target_link_libraries(${target} PRIVATE kernel32 user32 shlwapi ${VELKOR_CRT})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()

velkor_plugin(velkor ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH})
set_target_properties(velkor PROPERTIES OUTPUT_NAME velkor)

option(VELKOR_COPY_TO_DIST "Copy the built DLL to dist/" ON)
if(VELKOR_COPY_TO_DIST)
  set(VELKOR_DIST_DIR ${PROJECT_SOURCE_DIR}/dist/${VELKOR_CRT})
  add_custom_command(TARGET velkor POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELKOR_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velkor> ${VELKOR_DIST_DIR}/velkor.dll)
endif()

if(VELKOR_TESTS)
  # By name, not by the path found here: the tests may run in the virtual
  # machine of tools/i386-vm.sh, which has a Python of its own.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME pe_check
    COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/check-pe.py
            $<TARGET_FILE:velkor> ${CMAKE_BINARY_DIR}/velkor.map ${VELKOR_CRT}.dll
            ${CMAKE_OBJDUMP})
endif()

if(VELKOR_TESTS)
  # An older release for the tests of updates: the same DLL, reporting 1.0.0.
  velkor_plugin(velkor_older 1 0 0)
  set_target_properties(velkor_older PROPERTIES OUTPUT_NAME velkor-1.0.0
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/cli-stand-ins)
endif()
