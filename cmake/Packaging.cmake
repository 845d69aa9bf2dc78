# The Debian package (cpack -G DEB, or scripts/package-deb.sh): what `cmake --install`
# puts under /usr, with the library dependencies dpkg-shlibdeps finds in the program.
set(CPACK_PACKAGE_NAME vireo)
set(CPACK_PACKAGE_VENDOR Tarnwell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download manager for HTTP, HTTPS, FTP and PNM")
set(CPACK_PACKAGE_DESCRIPTION
    "Vireo downloads files several at a time, resumes partial files of its own, collects the links of web pages and runs in a terminal as well as in its window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarnwell <vireo@tarnwell.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plugins at run time; the program links none of them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
