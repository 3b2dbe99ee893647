# pugixml, libcsv, libmodbus and GoogleTest compiled for the target from their sources, for a
# build whose target has no such libraries installed (the Windows build on Linux). The targets
# get the names the rest of the build links: PkgConfig::PUGIXML, Csv::csv, PkgConfig::MODBUS,
# GTest::gtest(_main).
#   FABRICOR_DEBIAN_SOURCES  Debian's source packages of pugixml, libcsv and libmodbus, unpacked
#                            (scripts/install-deps.sh fetches them into build-deps/debian-src)
#   FABRICOR_GTEST_SOURCE    GoogleTest's source (Debian's googletest: /usr/src/googletest)
# Included before the warning options are set, so these are compiled as their makers intend.

function(fabricor_find_unpacked variable package relative_file)
    file(GLOB found LIST_DIRECTORIES true
        "${FABRICOR_DEBIAN_SOURCES}/${package}/${package}-*/${relative_file}")
    if(NOT found)
        message(FATAL_ERROR "No ${relative_file} of ${package} under ${FABRICOR_DEBIAN_SOURCES}/"
            "${package}: run scripts/install-deps.sh, which fetches Debian's source package")
    endif()
    list(GET found 0 first)
    set(${variable} ${first} PARENT_SCOPE)
endfunction()

fabricor_find_unpacked(FABRICOR_PUGIXML_CPP pugixml src/pugixml.cpp)
get_filename_component(FABRICOR_PUGIXML_DIR ${FABRICOR_PUGIXML_CPP} DIRECTORY)
add_library(fabricor_pugixml STATIC ${FABRICOR_PUGIXML_CPP})
target_include_directories(fabricor_pugixml SYSTEM PUBLIC ${FABRICOR_PUGIXML_DIR})
add_library(PkgConfig::PUGIXML ALIAS fabricor_pugixml)

fabricor_find_unpacked(FABRICOR_LIBCSV_C libcsv libcsv.c)
get_filename_component(FABRICOR_LIBCSV_DIR ${FABRICOR_LIBCSV_C} DIRECTORY)
enable_language(C)
add_library(fabricor_csv STATIC ${FABRICOR_LIBCSV_C})
target_include_directories(fabricor_csv SYSTEM PUBLIC ${FABRICOR_LIBCSV_DIR})
add_library(Csv::csv ALIAS fabricor_csv)

# libmodbus: its four C files with the configuration its autotools build would find on Windows,
# and its public headers under modbus/ as installed. The gateway reaches the port's handle
# through modbus_rtu_handle.c, which needs the library's own headers.
if(FABRICOR_WITH_GATEWAY)
    fabricor_find_unpacked(FABRICOR_LIBMODBUS_C libmodbus src/modbus.c)
    get_filename_component(FABRICOR_LIBMODBUS_DIR ${FABRICOR_LIBMODBUS_C} DIRECTORY)
    file(STRINGS ${FABRICOR_LIBMODBUS_DIR}/../configure.ac versions
        REGEX "m4_define\\(\\[libmodbus_version_(major|minor|micro)\\]")
    foreach(part MAJOR MINOR MICRO)
        string(TOLOWER ${part} lower)
        string(REGEX REPLACE ".*libmodbus_version_${lower}\\], \\[([0-9]+)\\].*" "\\1"
            LIBMODBUS_VERSION_${part} "${versions}")
    endforeach()
    set(LIBMODBUS_VERSION
        ${LIBMODBUS_VERSION_MAJOR}.${LIBMODBUS_VERSION_MINOR}.${LIBMODBUS_VERSION_MICRO})
    set(include_dir ${CMAKE_BINARY_DIR}/libmodbus/include)
    configure_file(${FABRICOR_LIBMODBUS_DIR}/modbus-version.h.in
        ${include_dir}/modbus/modbus-version.h @ONLY)
    foreach(header modbus.h modbus-rtu.h modbus-tcp.h)
        configure_file(${FABRICOR_LIBMODBUS_DIR}/${header} ${include_dir}/modbus/${header} COPYONLY)
    endforeach()
    file(WRITE ${CMAKE_BINARY_DIR}/libmodbus/config/config.h
        "#define HAVE_ERRNO_H 1\n#define HAVE_FCNTL_H 1\n#define HAVE_LIMITS_H 1\n"
        "#define HAVE_STDINT_H 1\n#define HAVE_STRING_H 1\n#define HAVE_TIME_H 1\n"
        "#define HAVE_WINSOCK2_H 1\n#define HAVE_STRERROR 1\n")
    add_library(fabricor_modbus STATIC
        ${FABRICOR_LIBMODBUS_DIR}/modbus.c
        ${FABRICOR_LIBMODBUS_DIR}/modbus-data.c
        ${FABRICOR_LIBMODBUS_DIR}/modbus-rtu.c
        ${FABRICOR_LIBMODBUS_DIR}/modbus-tcp.c
        ${PROJECT_SOURCE_DIR}/src/gateway/windows/modbus_rtu_handle.c)
    target_include_directories(fabricor_modbus PRIVATE ${CMAKE_BINARY_DIR}/libmodbus/config
        ${FABRICOR_LIBMODBUS_DIR} ${include_dir}/modbus)
    target_include_directories(fabricor_modbus SYSTEM PUBLIC ${include_dir})
    target_link_libraries(fabricor_modbus PUBLIC ws2_32)
    add_library(PkgConfig::MODBUS ALIAS fabricor_modbus)
endif()

if(FABRICOR_GTEST_SOURCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${FABRICOR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
