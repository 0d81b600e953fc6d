# Every target of ours compiles with warnings as errors.
add_library(wendle_warnings INTERFACE)
target_compile_options(wendle_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wnull-dereference -Wdouble-promotion -Wformat=2
    -Wimplicit-fallthrough)
# Clang checks the GUARDED_BY annotations (util/mutex.h); beta adds the lock order that
# ACQUIRED_AFTER states.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(wendle_warnings INTERFACE -Wthread-safety -Wthread-safety-beta)
endif()

# Helper so each subsystem states its library in one line.
function(wendle_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE wendle_warnings)
endfunction()
