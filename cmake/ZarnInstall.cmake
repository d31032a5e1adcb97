# What an install puts beside the programs and the library: manual pages,
# the desktop entry, the MIME type, the icon, the thumbnailer entry, bash
# completion and the documentation. Every destination is relative to the
# install prefix, so DESTDIR and `cmake --install --prefix` both apply.
include(GNUInstallDirs)

install(FILES man/zarnplay.1 man/zarn.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES desktop/zarnplay.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES desktop/zarn.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES desktop/zarnplay.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES desktop/zarn.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(FILES completion/zarnplay completion/zarn
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# No licence file: the project has not named a licence yet.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
