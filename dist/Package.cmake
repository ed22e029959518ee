# The Debian package (`make package`): everything `cmake --install` puts under /usr.
# Installing it to /usr lets the triggers of shared-mime-info, hicolor-icon-theme and
# desktop-file-utils refresh the type database, the icon cache and the handler list, so
# the package needs no maintainer scripts of its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindle)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_CONTACT "Korvane <${BRINDLE_CONTACT}>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${BRINDLE_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for the mail stores of an old Windows mail client")
set(CPACK_PACKAGE_DESCRIPTION
  "Brindle reads version 5/6 mail folder files (.dbx), version 4 folder files (.mbx with
their .idx) and single .eml messages: it lists, shows, prints and saves every message and
attachment without ever writing to a store. brindle-cli does the same without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# The libraries the programs link come from dpkg-shlibdeps where it is installed
# (dpkg-dev); otherwise from this list of the Debian 12 packages that hold them.
find_program(BRINDLE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(BRINDLE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(brindle_depends "")
else()
  set(brindle_depends "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12), libetpan20 (>= 1.9.4), libytnef0 (>= 2.0)")
  if(TARGET brindle)
    string(APPEND brindle_depends ", libqt6core6 (>= 6.4.2), libqt6gui6 (>= 6.4.2), "
      "libqt6widgets6 (>= 6.4.2), libqt6printsupport6 (>= 6.4.2), libqt6keychain1 (>= 0.13.2)")
  endif()
endif()
# Qt finds its windowing-system plugins at run time, so no library lists them.
if(TARGET brindle)
  if(brindle_depends)
    string(APPEND brindle_depends ", ")
  endif()
  string(APPEND brindle_depends "qt6-qpa-plugins")
  # Subjects and names with emoji draw in colour with this font.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, hicolor-icon-theme, fonts-noto-color-emoji")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${brindle_depends})

include(CPack)
