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
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
if(WIN32)
    # Those MinGW builds are static: libzip's header must not expect its DLL, and the
    # libraries it calls come along (its .pc file lists them only for static linking).
    find_package(ZLIB REQUIRED)
    set_property(TARGET PkgConfig::LIBZIP APPEND PROPERTY
        INTERFACE_COMPILE_DEFINITIONS ZIP_STATIC)
    set_property(TARGET PkgConfig::LIBZIP APPEND PROPERTY
        INTERFACE_LINK_LIBRARIES ZLIB::ZLIB bcrypt advapi32)
endif()
if(WENDLE_TESTS)
    find_package(GTest REQUIRED)
endif()
if(WENDLE_BENCH)
    find_package(benchmark REQUIRED)
endif()
