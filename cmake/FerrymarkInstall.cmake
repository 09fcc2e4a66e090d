# The installed program, under any prefix (cmake --install build --prefix DIR):
#   bin/ferrymark                                  finds its libraries through
#                                                  a RUNPATH relative to $ORIGIN
#   LIBDIR/libQuorvel.so.<major>, LIBDIR/ferrymark/libFerrymarkPlatform.so.<major>
#                                                  (QuorvelInstall.cmake)
#   share/applications/com.quorvel.Ferrymark.desktop   "Open with" imports the files
#   share/icons/hicolor/scalable/apps/ferrymark.svg
#   share/metainfo/com.quorvel.Ferrymark.metainfo.xml
#   share/mime/packages/ferrymark.xml              the type of .enex files
#   share/man/man1/ferrymark.1                     made from the help texts
#   share/bash-completion/completions/ferrymark
# Everything of the program is component Ferrymark:
#   cmake --install build --component Ferrymark --prefix DIR
set(FERRYMARK_APP_ID com.quorvel.Ferrymark)
set(ferrymark_resources_dir ${CMAKE_SOURCE_DIR}/resources/ferrymark)

# bin/ -> LIBDIR/ and LIBDIR/ferrymark/, whatever the prefix.
file(RELATIVE_PATH ferrymark_bin_to_lib
  /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
set_target_properties(ferrymark PROPERTIES INSTALL_RPATH
  "$ORIGIN/${ferrymark_bin_to_lib}/ferrymark;$ORIGIN/${ferrymark_bin_to_lib}")

install(TARGETS ferrymark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Ferrymark)
install(FILES ${ferrymark_resources_dir}/ferrymark.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${FERRYMARK_APP_ID}.desktop
  COMPONENT Ferrymark)
install(FILES ${ferrymark_resources_dir}/ferrymark.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT Ferrymark)
install(FILES ${ferrymark_resources_dir}/${FERRYMARK_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT Ferrymark)
install(FILES ${ferrymark_resources_dir}/ferrymark-mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ferrymark.xml COMPONENT Ferrymark)
install(FILES ${ferrymark_resources_dir}/ferrymark.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ferrymark
  COMPONENT Ferrymark)

# The manual page: the program's own help texts, put into a page by pandoc,
# so that it names every option the program has. The sanitized build is
# never installed and makes none.
find_program(PANDOC_EXECUTABLE pandoc)
if(PANDOC_EXECUTABLE AND NOT FERRYMARK_SANITIZE)
  set(ferrymark_manual ${CMAKE_BINARY_DIR}/man/ferrymark.1)
  add_custom_command(OUTPUT ${ferrymark_manual} ${ferrymark_manual}.gz
    COMMAND ${CMAKE_SOURCE_DIR}/tools/make-manual $<TARGET_FILE:ferrymark>
            ${PANDOC_EXECUTABLE} ${PROJECT_VERSION} ${ferrymark_manual}
    DEPENDS ferrymark ${CMAKE_SOURCE_DIR}/tools/make-manual
    COMMENT "Making the manual page ferrymark.1" VERBATIM)
  add_custom_target(ferrymark_manual ALL DEPENDS ${ferrymark_manual}.gz)
  install(FILES ${ferrymark_manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Ferrymark)
endif()
