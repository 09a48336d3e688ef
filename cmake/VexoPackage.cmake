# The Debian package, made by CPack from an existing build (scripts/package):
#   cpack --config BUILD/CPackConfig.cmake
# The build may be configured for any prefix: the package installs into /usr
# and the program finds its files relative to itself. Binaries are stripped;
# the run-time dependencies come from dpkg-shlibdeps plus what no library
# link shows (Qt's platform plugins).

# Debian wants its own copy of the copyright notice and the changelog with
# every package, the changelog gzipped (done at configure time, like the
# manual pages, so that an install needs no build step).
set(vexo_package_doc ${CMAKE_INSTALL_DATADIR}/doc/vexofilemanager)
set(vexo_changelog ${CMAKE_SOURCE_DIR}/data/package/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vexo_changelog})
execute_process(COMMAND gzip -9nc ${vexo_changelog} OUTPUT_FILE ${CMAKE_BINARY_DIR}/changelog.gz
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_SOURCE_DIR}/data/package/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${vexo_package_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexofilemanager)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Everything installs as the default component. Naming it makes CPack's
# install keep its list of files apart (install_manifest_Unspecified.txt):
# install_manifest.txt stays the list of a real "cmake --install", the one
# the README removes an install with.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 0)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# scripts/package passes the person building it (DEBFULLNAME, DEBEMAIL).
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VexoFileManager developers <packages@vexofilemanager.org>")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Added to what dpkg-shlibdeps finds: Qt loads the X11 and offscreen
# platform plugins at run time, and libqt6gui6 only recommends them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Chinese captions need a Chinese font; Qt's own dialog texts, and Wayland
# desktops, need Qt's translations and plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file manager for a palmtop terminal and its simulator")
# The synopsis is the summary above; CPack puts it before this.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Three panes side by side show the PC's own files, the files of a palmtop
data terminal reached over a serial or USB link, and the files inside the
disk image of the palmtop simulator (vdisk.dat). Files are copied between
any two panes with Copy and Paste or by dragging.
.
The package also holds the command-line tools: vexo for the palmtop, vdisk
for the simulator's disk image, and vexo-deviced, which serves a folder as a
palmtop does.")
include(CPack)
