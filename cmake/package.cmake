# The Debian package (cpack -G DEB; scripts/package builds it): what
# `cmake --install` installs, under /usr, with the dependencies that
# dpkg-shlibdeps finds for the program's libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumireel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo albums and slide-show galleries")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "photo albums and slide-show galleries
 Lumireel keeps photos in albums with a big rendition and a preview of each,
 edits them (contrast, brightness, saturation, hue, crop, rotation, mirroring,
 scaling), tags them with keywords and imports album folders. An album is
 published as a self-contained slide-show gallery for the web or as a folder
 that plays offline from a disc or a memory stick.
 .
 The albums live in the user's workspace ~/Lumireel, which the program makes
 on the first start and which removing the package leaves alone.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Lumireel developers <maintainers@lumireel.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
