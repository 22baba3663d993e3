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

add_library(velkor SHARED ${VELKOR_PLUGIN_SOURCES})
target_include_directories(velkor PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(velkor PROPERTIES PREFIX "" OUTPUT_NAME velkor)
target_compile_definitions(velkor PRIVATE
  VELKOR_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  VELKOR_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  VELKOR_VERSION_PATCH=${PROJECT_VERSION_PATCH})
# Windows 95 and 98 run on processors without cmov, MMX or SSE (Pentium MMX,
# K6-2, K6-III, VIA C3): the code is for the 80486, tuned for today's
# processors. Loops that look like copies stay loops, so that no runtime
# function beyond strncpy is imported.
target_compile_options(velkor PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:-Os -march=i486 -mtune=generic -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector
  -fno-threadsafe-statics -fno-ident -fno-tree-loop-distribute-patterns>)
target_link_options(velkor PRIVATE
  -nostdlib -nostartfiles -s
  -Wl,--entry,_DllMain@12
  -Wl,--enable-stdcall-fixup
  -Wl,--file-alignment,512
  -Wl,--dynamicbase -Wl,--nxcompat
  -Wl,--no-insert-timestamp
  -Wl,--image-base,0x63300000
  -Wl,-Map,${CMAKE_BINARY_DIR}/velkor.map)
target_link_libraries(velkor PRIVATE kernel32 user32 shlwapi ${VELKOR_CRT})
set_target_properties(velkor PROPERTIES LINKER_LANGUAGE CXX)

option(VELKOR_COPY_TO_DIST "Copy the built DLL to dist/" ON)
if(VELKOR_COPY_TO_DIST)
  set(VELKOR_DIST_DIR ${PROJECT_SOURCE_DIR}/dist/${VELKOR_CRT})
  add_custom_command(TARGET velkor POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELKOR_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velkor> ${VELKOR_DIST_DIR}/velkor.dll)
endif()

if(VELKOR_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME pe_check
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/check-pe.py
            $<TARGET_FILE:velkor> ${CMAKE_BINARY_DIR}/velkor.map ${VELKOR_CRT}.dll
            ${CMAKE_OBJDUMP})
endif()
