# CPack settings for the .deb, included from the top-level CMakeLists.txt after
# every install rule is known.
#
# The .deb: `cpack -G DEB` in the build folder gives brenvo_<version>_<arch>.deb.
# Only the default component goes in (the headers are EXCLUDE_FROM_ALL).
set(CPACK_PACKAGE_NAME brenvo)
set(CPACK_PACKAGE_VENDOR "Halvinor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send files straight to people you know")
set(CPACK_PACKAGE_DESCRIPTION
  "Brenvo sends files directly from one machine to another between people who know\n\
each other, with no server in between. People exchange small user cards; their\n\
machines then connect over TCP, authenticate each other with Ed25519 identities\n\
and exchange encrypted messages. This package holds libvortan, the brenvo-cli\n\
front end and the desktop integration files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_PACKAGE_NAME brenvo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(BRENVO_DEB_MAINTAINER "Brenvo maintainers <maintainers@brenvo.invalid>"
  CACHE STRING "Maintainer field of the .deb (Name <address>)")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRENVO_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Library dependencies come from dpkg-shlibdeps. The identity key prefers a
# Secret Service; without one it falls back to a key file, hence only a Suggests.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring, kdeconnect")
# Plugins and data the program loads at run time, which dpkg-shlibdeps cannot
# see: Qt's SVG support draws the icons (the program's own is an SVG); Breeze
# is the icon theme where the desktop has none; xdg-email sends cards.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "breeze-icon-theme, xdg-utils, tor")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
