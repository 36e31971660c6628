# The Debian package, made by CPack (scripts/package.sh): cpack -G DEB in a build folder.
set(OSTREL_PACKAGE_MAINTAINER "Ostrel Chipcard maintainers <maintainers@ostrel.example>"
    CACHE STRING "Maintainer field of the Debian package")

# The changelog and the AppStream release are written by hand; a version bump must reach both.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_head LIMIT_COUNT 1)
file(READ ${CMAKE_CURRENT_LIST_DIR}/org.ostrel.ChipcardAdmin.metainfo.xml metainfo)
if(NOT changelog_head MATCHES "^ostrel-chipcard \\(${PROJECT_VERSION}\\) " OR
   NOT metainfo MATCHES "<release version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "packaging/changelog and the metainfo's releases need an entry for "
                      "version ${PROJECT_VERSION}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel-chipcard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${OSTREL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program SLE4442 memory chip cards through a card reader")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ostrel Chipcard Administration is a desktop tool, with a command-line companion\n"
    "(ostrel-card), for the operator of a card-operated service. It formats blank\n"
    "SLE4442 memory chip cards with a serial number, writes disposable token and\n"
    "credit cards, and, when a card is inserted with nothing else open, identifies\n"
    "it and shows a hex dump of its 256-byte memory. Its interface is French.\n"
    "\n"
    "It works with any PC/SC card reader (pcsc-lite) that handles SLE4442 memory\n"
    "cards, or, with no hardware at all, with a built-in simulated reader and a\n"
    "demo deck of virtual cards.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugins at run time, unseen by dpkg-shlibdeps; without them the
# desktop program cannot open a window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# Qt's own texts (file dialogs, context menus) in French; the bar chart's Qt Charts library is
# found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pcscd, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS vsmartcard-vpcd)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
