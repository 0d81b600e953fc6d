# Every library comes from Debian's packages (scripts/install-deps); for the Windows build,
# from Debian's source packages built for MinGW (scripts/build-windows), found through the
# prefixes the toolchain file names.
find_package(Threads REQUIRED)
find_package(fmt REQUIRED)
find_package(pugixml REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(Microsoft.GSL REQUIRED)
find_package(CURL REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
# Debian's CMake file of libzip names tools that are in another package: pkg-config.
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
if(WIN32)
    # The Windows build links libzip statically: what its .pc lists as private comes along.
    pkg_check_modules(ZLIB_PC REQUIRED IMPORTED_TARGET zlib)
    set_property(TARGET PkgConfig::LIBZIP APPEND PROPERTY INTERFACE_LINK_LIBRARIES
        PkgConfig::ZLIB_PC bcrypt advapi32)
endif()
if(WENDLE_TESTS)
    find_package(GTest REQUIRED)
endif()
if(WENDLE_BENCH)
    find_package(benchmark REQUIRED)
endif()
