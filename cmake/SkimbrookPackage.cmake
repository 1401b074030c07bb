# The Debian package, made by `cpack -G DEB` from the install rules (scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skimbrook)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Skimbrook developers")
set(CPACK_PACKAGE_CONTACT "The Skimbrook developers <support@skimbrook.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop reader for RSS, RDF and Atom news feeds")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.skimbrook.org/")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The extended description; CPack puts the summary before it and indents its lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Skimbrook keeps subscriptions to RSS 0.9x/2.0, RSS 1.0 (RDF) and Atom feeds in
named groups, downloads them over HTTP (directly or through a proxy) once an
hour or on request, and shows them in one window whose lower right pane is an
embedded web browser, which also opens the pages an item links to.

skimbrook-addfeed subscribes to a feed from a web browser's feed: links or
from a script.")

# The libraries the programs link come from dpkg-shlibdeps. Qt loads the windowing
# plug-in at run time, which no library names: without qt6-qpa-plugins the window
# cannot open. libcurl is loaded when the first download starts, so no program names it
# either. The web engine's helper process comes with libqt6webenginewidgets6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libcurl4 (>= ${CURL_VERSION_STRING})")
# Without a session bus the program runs alone; skimbrook-addfeed and the single
# running copy need one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "default-dbus-session-bus | dbus-session-bus")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils")

include(CPack)
