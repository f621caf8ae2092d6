# Installation and the two packages (cpack in a build folder):
#   Windows: quorvix-windows-x64.zip, the two programs, the help page and a
#            short README; nothing to install, the settings live in the registry.
#   Linux:   a .deb; the programs and the help page in lib/quorvix, because the
#            window looks for its help beside itself, with links in bin.
set(QV_APP_ID com.example.norvane.Quorvix)
set(CPACK_PACKAGE_NAME quorvix)
set(CPACK_PACKAGE_VENDOR Norvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Shows and changes the document metadata of spreadsheet workbooks")
set(CPACK_PACKAGE_CONTACT "Norvane <support@norvane.example.com>")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  install(TARGETS quorvix-cli RUNTIME DESTINATION .)
  if(TARGET quorvix)
    install(TARGETS quorvix RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/src/app/help.html DESTINATION .)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quorvix-windows-x64)
  # One folder inside the zip, so unpacking never scatters files.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  include(GNUInstallDirs)
  install(TARGETS quorvix-cli RUNTIME DESTINATION lib/quorvix)
  set(links quorvix-cli)
  if(TARGET quorvix)
    install(TARGETS quorvix RUNTIME DESTINATION lib/quorvix)
    install(FILES ${PROJECT_SOURCE_DIR}/src/app/help.html DESTINATION lib/quorvix)
    list(APPEND links quorvix)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/${QV_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/${QV_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/workbook.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${QV_APP_ID}.svg)
  endif()
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/links)
  foreach(link ${links})
    file(CREATE_LINK ../lib/quorvix/${link} ${CMAKE_BINARY_DIR}/links/${link} SYMBOLIC)
    install(FILES ${CMAKE_BINARY_DIR}/links/${link} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endforeach()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Qt's own dialogs and buttons in Japanese.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-ipafont-gothic")
  set(CPACK_PACKAGE_DESCRIPTION
      "A window with a Japanese user interface and a command line (quorvix-cli) that show and change the summary properties, file times and attributes of .xls and .xlsx workbooks, one at a time or in batches, with backups and CSV export.")
endif()
include(CPack)
