# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads, so std::thread
# and std::mutex work). scripts/build-windows passes WENDLE_MINGW_PREFIXES: the folders where
# it installed the libraries Debian does not ship for MinGW.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(WENDLE_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${WENDLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WENDLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${WENDLE_MINGW_TRIPLE}-windres)

# try_compile runs the toolchain file again in a project of its own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WENDLE_MINGW_PREFIXES)
if(NOT WENDLE_MINGW_PREFIXES AND DEFINED ENV{WENDLE_MINGW_PREFIXES})
    set(WENDLE_MINGW_PREFIXES "$ENV{WENDLE_MINGW_PREFIXES}")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${WENDLE_MINGW_TRIPLE} ${WENDLE_MINGW_PREFIXES})
set(CMAKE_PREFIX_PATH ${WENDLE_MINGW_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the Windows libraries only, never the host's.
set(pc_dirs "")
foreach(prefix IN LISTS WENDLE_MINGW_PREFIXES)
    list(APPEND pc_dirs ${prefix}/lib/pkgconfig ${prefix}/share/pkgconfig)
endforeach()
string(REPLACE ";" ":" pc_dirs "${pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pc_dirs}")
unset(ENV{PKG_CONFIG_PATH})
unset(pc_dirs)

# MinGW's time.h declares gmtime_r and localtime_r only with this (the POSIX thread-safe
# functions option); the portable code uses them.
set(CMAKE_C_FLAGS_INIT "-D_POSIX_THREAD_SAFE_FUNCTIONS=200112L")
set(CMAKE_CXX_FLAGS_INIT "-D_POSIX_THREAD_SAFE_FUNCTIONS=200112L")

# Self-contained executables and DLLs: no libstdc++, libgcc or winpthread DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Built executables (the data packer during the build, the tests under ctest) run in Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
