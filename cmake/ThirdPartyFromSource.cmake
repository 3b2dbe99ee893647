# pugixml, libcsv and GoogleTest compiled for the target from their sources, for a build whose
# target has no such libraries installed (the Windows build on Linux). The targets get the
# names the rest of the build links: PkgConfig::PUGIXML, Csv::csv, GTest::gtest(_main).
#   FABRICOR_DEBIAN_SOURCES  Debian's source packages of pugixml and libcsv, unpacked
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

if(FABRICOR_GTEST_SOURCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${FABRICOR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
