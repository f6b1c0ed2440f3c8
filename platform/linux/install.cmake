# Installed: the bundle under lib/ampora, a launcher on PATH, and what the desktop lists it by:
# desktop entry, icons, manual page and AppStream metainfo.
include(GNUInstallDirs)
set(_install_bundle "lib/ampora/Ampora.app")
set(_icon com.larchmoor.Ampora)

# This release's date, from the latest entry of debian/changelog (the release record, for every
# kind of build): the manual page and the metainfo carry it, the same whatever day they're built.
file(STRINGS "${PROJECT_SOURCE_DIR}/debian/changelog" _release_lines REGEX "^(ampora \\(| -- )")
list(GET _release_lines 0 _release_version)
list(GET _release_lines 1 _release_trailer)
string(REGEX REPLACE "^ampora \\(([^)]*)\\).*" "\\1" _release_version "${_release_version}")
if(NOT _release_version STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "debian/changelog's latest entry is ${_release_version}, "
        "the project ${PROJECT_VERSION}: add an entry for this version")
endif()
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(JOIN _months "|" _month_names)
if(NOT _release_trailer MATCHES ", ([0-9]?[0-9]) (${_month_names}) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "debian/changelog: no date in '${_release_trailer}'")
endif()
set(_day ${CMAKE_MATCH_1})
set(_year ${CMAKE_MATCH_3})
list(FIND _months ${CMAKE_MATCH_2} _month)
math(EXPR _month "${_month} + 1")
string(REGEX REPLACE "^(.)$" "0\\1" _month ${_month})
string(REGEX REPLACE "^(.)$" "0\\1" _day ${_day})
set(AMPORA_RELEASE_DATE "${_year}-${_month}-${_day}")

file(RELATIVE_PATH AMPORA_LAUNCHER_TARGET "/prefix/${CMAKE_INSTALL_BINDIR}"
    "/prefix/${_install_bundle}/Contents/MacOS/Ampora")
configure_file(resources/ampora.in "${CMAKE_CURRENT_BINARY_DIR}/ampora" @ONLY)
configure_file(resources/${_icon}.metainfo.xml.in
    "${CMAKE_CURRENT_BINARY_DIR}/${_icon}.metainfo.xml" @ONLY)
# The manual page names the installed files: its paths are filled in at install time, under the
# prefix installed to (cmake --install --prefix overrides the configured one).
set(AMPORA_INSTALLED_BUNDLE "@AMPORA_INSTALLED_BUNDLE@")
set(AMPORA_INSTALLED_BINDIR "@AMPORA_INSTALLED_BINDIR@")
configure_file(resources/ampora.1.in "${CMAKE_CURRENT_BINARY_DIR}/ampora.1.in" @ONLY)
install(CODE "
    set(AMPORA_INSTALLED_BUNDLE \"\${CMAKE_INSTALL_PREFIX}/${_install_bundle}\")
    set(AMPORA_INSTALLED_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/ampora.1.in\"
        \"${CMAKE_CURRENT_BINARY_DIR}/installed/ampora.1\" @ONLY)
    file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/installed/ampora.1\"
        DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\")")

install(TARGETS ampora_linux_monitor RUNTIME DESTINATION "${_install_bundle}/Contents/MacOS")
install(TARGETS ampora_linux_helper
    RUNTIME DESTINATION "${_install_bundle}/${_helper_bundle}/Contents/MacOS")
install(TARGETS ampora_linux_gtk_module LIBRARY DESTINATION "${_install_bundle}/Contents/PlugIns")
install(FILES ${_resources} DESTINATION "${_install_bundle}/Contents/Resources")
install(PROGRAMS "${CMAKE_CURRENT_BINARY_DIR}/ampora" DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/${_icon}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${_icon}.metainfo.xml"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/${_icon}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The usual fixed sizes, rendered from the scalable icon: software centres and some menus only
# take PNGs.
find_program(AMPORA_RSVG_CONVERT rsvg-convert REQUIRED)
set(_pngs "")
foreach(_size 16 22 24 32 48 64 128 256)
    set(_dir "${CMAKE_CURRENT_BINARY_DIR}/icons/${_size}x${_size}")
    add_custom_command(OUTPUT "${_dir}/${_icon}.png"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${_dir}"
        COMMAND ${AMPORA_RSVG_CONVERT} -w ${_size} -h ${_size} -o "${_dir}/${_icon}.png"
            "${CMAKE_CURRENT_SOURCE_DIR}/resources/${_icon}.svg"
        DEPENDS resources/${_icon}.svg
        VERBATIM)
    list(APPEND _pngs "${_dir}/${_icon}.png")
    install(FILES "${_dir}/${_icon}.png"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
endforeach()
add_custom_target(ampora_linux_icons ALL DEPENDS ${_pngs})
