# What `cmake --install` puts where, and the packages CPack makes from it: a .deb on Debian
# (with the package dependencies dpkg-shlibdeps finds), a zip of the programs for Windows.
if(WIN32)
    install(TARGETS playqz RUNTIME DESTINATION .)
    if(QZ_BUILD_TOOLS)
        install(TARGETS qztool RUNTIME DESTINATION .)
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/dist/README-windows.txt DESTINATION . RENAME README.txt)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "playqz-${PROJECT_VERSION}-win64")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    include(GNUInstallDirs)
    install(TARGETS playqz RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/dist/playqz.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    if(QZ_BUILD_TOOLS)
        install(TARGETS qztool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        install(FILES ${PROJECT_SOURCE_DIR}/dist/qztool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        install(FILES ${PROJECT_SOURCE_DIR}/dist/qztool.bash-completion
                DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qztool)
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/dist/playqz.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/dist/playqz-mime.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME playqz.xml)

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    if(QZ_BUILD_TOOLS)
        # qztool loads these when it first reads sound, so dpkg-shlibdeps does not see them.
        set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsndfile1 (>= 1.0.20), libsamplerate0 (>= 0.1.7)")
    endif()
    set(CPACK_DEBIAN_PACKAGE_SECTION video)
    # The desktop entry and the movie type reach the file manager through their caches.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, shared-mime-info")
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://playqz.invalid/")
endif()
set(CPACK_PACKAGE_NAME playqz)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Play QZ developers <dev@playqz.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "movie player and tools for QZ, QZ2, KRT and BSX files")
set(CPACK_PACKAGE_DESCRIPTION
    "playqz plays QZ, QZ2, KRT and BSX movie files full screen or in a window, with seeking,\n\
volume, screenshots and full-screen switching. qztool inspects these movies, exports their\n\
frames and sound, and authors new ones from pictures and sound files.")
include(CPack)
