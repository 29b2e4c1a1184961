# A Debian package of what `cmake --install` installs: `cpack -G DEB` in a build folder (or
# scripts/package.sh) writes dekoder-ir_<version>_<arch>.deb. The shared-library dependencies are
# computed from the binaries by dpkg-shlibdeps; what the binaries load at run time without linking
# it (the display plugins, Qt's own Polish texts) is named here.
set(CPACK_PACKAGE_NAME dekoder-ir)
set(CPACK_PACKAGE_VENDOR "Dekoder IR")
set(CPACK_PACKAGE_CONTACT "Dekoder IR developers <dekoder-ir@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Graphical decoder of infra-red remote-control frames")
set(CPACK_PACKAGE_DESCRIPTION "Draws the frames an infra-red receiver on a serial port reports, saves and loads them, exports the chart and turns frames into C tables.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://dekoder-ir.falquin.pl")

include(CPack)
