# Installed: the bundle under lib/ampora, a launcher on PATH, and what the desktop lists it by:
# desktop entry, icons, manual page and AppStream metainfo.
include(GNUInstallDirs)
set(_install_bundle "lib/ampora/Ampora.app")
set(_icon com.larchmoor.Ampora)
set(AMPORA_INSTALLED_BUNDLE "${CMAKE_INSTALL_PREFIX}/${_install_bundle}")

file(RELATIVE_PATH AMPORA_LAUNCHER_TARGET "/prefix/${CMAKE_INSTALL_BINDIR}"
    "/prefix/${_install_bundle}/Contents/MacOS/Ampora")
configure_file(resources/ampora.in "${CMAKE_CURRENT_BINARY_DIR}/ampora" @ONLY)
# The manual page and the metainfo name the version, the paths and the links the menu opens.
configure_file(resources/ampora.1.in "${CMAKE_CURRENT_BINARY_DIR}/ampora.1" @ONLY)
configure_file(resources/${_icon}.metainfo.xml.in
    "${CMAKE_CURRENT_BINARY_DIR}/${_icon}.metainfo.xml" @ONLY)

install(TARGETS ampora_linux_monitor RUNTIME DESTINATION "${_install_bundle}/Contents/MacOS")
install(TARGETS ampora_linux_helper
    RUNTIME DESTINATION "${_install_bundle}/${_helper_bundle}/Contents/MacOS")
install(TARGETS ampora_linux_gtk_module LIBRARY DESTINATION "${_install_bundle}/Contents/PlugIns")
install(FILES ${_resources} DESTINATION "${_install_bundle}/Contents/Resources")
install(PROGRAMS "${CMAKE_CURRENT_BINARY_DIR}/ampora" DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/ampora.1" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
