# The static Qt for Windows that scripts/build-qt-windows.sh builds from Debian's sources, for
# the Windows build: with it the program with windows (fabricor.exe) and the front's tests are
# built, without it the command-line programs alone. FABRICOR_BUILD_GUI=AUTO (the windows
# preset) decides by whether it is there.
#   FABRICOR_WINDOWS_QT  its installation folder; by default the newest one the script has
#                        installed in ${XDG_CACHE_HOME:-$HOME/.cache}/fabricor/
set(FABRICOR_WINDOWS_QT "" CACHE PATH
    "A static Qt for Windows (default: the one scripts/build-qt-windows.sh installed)")

set(fabricor_qt "${FABRICOR_WINDOWS_QT}")
if(NOT fabricor_qt)
    set(fabricor_cache "$ENV{XDG_CACHE_HOME}")
    if(NOT fabricor_cache)
        set(fabricor_cache "$ENV{HOME}/.cache")
    endif()
    # Only an installation the script finished carries its mark.
    file(GLOB fabricor_marks "${fabricor_cache}/fabricor/qt-*-mingw-w64-static/fabricor-qt-build")
    if(fabricor_marks)
        list(SORT fabricor_marks COMPARE NATURAL)
        list(GET fabricor_marks -1 fabricor_mark)
        get_filename_component(fabricor_qt "${fabricor_mark}" DIRECTORY)
    endif()
endif()

if(FABRICOR_BUILD_GUI STREQUAL "AUTO")
    if(fabricor_qt AND EXISTS "${fabricor_qt}/lib/cmake/Qt6/Qt6Config.cmake")
        set(FABRICOR_BUILD_GUI ON)
    else()
        message(STATUS "No static Qt for Windows (bash scripts/build-qt-windows.sh builds it): "
                       "the command-line programs alone")
        set(FABRICOR_BUILD_GUI OFF)
    endif()
endif()

if(FABRICOR_BUILD_GUI AND fabricor_qt)
    message(STATUS "Qt for Windows: ${fabricor_qt}")
    # Its CMake packages are below its own folder, outside the compilers' root; its moc, rcc and
    # uic are the host's, of the same version.
    list(APPEND CMAKE_FIND_ROOT_PATH "${fabricor_qt}")
    list(APPEND CMAKE_PREFIX_PATH "${fabricor_qt}")
    if(NOT QT_HOST_PATH)
        set(QT_HOST_PATH /usr)
    endif()
endif()
