# Release archives from `cpack` in the build folder: a .tar.gz and a .deb on Linux, a .zip
# from the Windows cross-build. All of them hold what `cmake --install` installs.
set(CPACK_PACKAGE_NAME tessarin)
set(CPACK_PACKAGE_VENDOR "The Tessarin developers")
set(CPACK_PACKAGE_CONTACT "The Tessarin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Take a CSV table apart into plain text files and put it back together")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The .deb installs under /usr; its library dependencies are read from the binary when
  # dpkg-shlibdeps is there to read them.
  find_program(TESSARIN_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(TESSARIN_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()
include(CPack)
