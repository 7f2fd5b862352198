# The Debian package (scripts/package runs CPack).  Library dependencies come from
# dpkg-shlibdeps; the GStreamer plugin packages the program loads at run time (it never links
# them) are found when the package is made, by cmake/PackagingDepends.cmake.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qelvo-tarnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QELVO_TARNEL maintainers")
set(CPACK_PACKAGE_CONTACT
    "QELVO_TARNEL maintainers <maintainers@users.noreply.c-seed-4702602e.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "live view, snapshots and picture review for USB cameras and microscopes")
set(CPACK_PACKAGE_DESCRIPTION
    "QELVO_TARNEL shows the live picture of a USB video camera or inspection
microscope, takes JPEG snapshots (also by the device's own snapshot button),
records AVI movies and keeps the pictures in day folders. Its picture library
offers zoom, a loupe and tone tools; its image view shows up to four snapshots
side by side with annotation, saving and printing. The qelvo command-line tool
reads, converts and calibrates pictures (JPEG, PNG, TIFF with their pixel size)
for scripts and batch work.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The burnt-in clock of the virtual cameras, and the narrow font of the window labels.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_QELVO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackagingDepends.cmake)
include(CPack)
