# `cpack -G DEB` in the build folder makes tandemix_<version>_amd64.deb of
# what the install rules put in place.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tandemix)
set(CPACK_PACKAGE_VENDOR Tandemix)
set(CPACK_PACKAGE_CONTACT "Tandemix <${TX_CONTACT}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_PACKAGE_DESCRIPTION "Tandemix copies one folder tree from one drive to another with a single
click: the Backup page copies the folder to the destination drive, the
Restore page copies it back. A timer can start a run at up to three times
of day, and every run is kept in a history. Its texts are in Japanese.")
# The libraries the program links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every text of the program is Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic")
include(CPack)
