# What `cmake --install` puts in place: the tool, its manual page and its bash completion.
if(WIN32)
  # A Windows archive is unpacked and run where it lies: the .exe at its top, with the
  # documents a user reads beside it.
  install(TARGETS tessarin RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
else()
  install(TARGETS tessarin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/man/tessarin.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/completion/tessarin.bash
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
          RENAME tessarin)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
