# Debian packages of the install components (cpack in build/, ./run package):
#   ferrymark        component Ferrymark: the program and its desktop files
#   libquorvel1      component Quorvel: the framework and the platform library
#   libquorvel-dev   component QuorvelDevelopment: headers, CMake package, .pc
# Each carries its copyright and changelog in /usr/share/doc/<package>/;
# dpkg-shlibdeps finds what the libraries need from the system.
set(FERRYMARK_MAINTAINER "Ferrymark Developers <ferrymark@quorvel.com>")
set(FERRYMARK_HOMEPAGE "https://www.quorvel.com/")

set(ferrymark_packages Ferrymark:ferrymark Quorvel:libquorvel1 QuorvelDevelopment:libquorvel-dev)
foreach(entry IN LISTS ferrymark_packages)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 component)
  list(GET entry 1 PACKAGE)
  set(VERSION ${PROJECT_VERSION})
  set(doc_dir ${CMAKE_BINARY_DIR}/debian/${PACKAGE})
  configure_file(${CMAKE_SOURCE_DIR}/resources/debian/copyright.in ${doc_dir}/copyright @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/resources/debian/changelog.in ${doc_dir}/changelog @ONLY)
  # Debian wants the changelog compressed, reproducibly (no name, no time).
  add_custom_command(OUTPUT ${doc_dir}/changelog.gz
    COMMAND gzip -9n --force --keep ${doc_dir}/changelog
    DEPENDS ${doc_dir}/changelog VERBATIM)
  add_custom_target(changelog_${PACKAGE} ALL DEPENDS ${doc_dir}/changelog.gz)
  install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PACKAGE} COMPONENT ${component})
  string(TOUPPER ${component} COMPONENT)
  set(CPACK_DEBIAN_${COMPONENT}_PACKAGE_NAME ${PACKAGE})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrymark)
set(CPACK_PACKAGE_VENDOR Quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${FERRYMARK_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL Ferrymark Quorvel QuorvelDevelopment)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${FERRYMARK_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${FERRYMARK_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps runs in each component's staging folder: the program's
# libraries are staged beside it, in the framework's (they come from
# libquorvel1, a dependency of its own).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ../Quorvel${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}
  ../Quorvel${CPACK_PACKAGING_INSTALL_PREFIX}/${FERRYMARK_PRIVATE_LIBDIR})

set(CPACK_COMPONENT_FERRYMARK_DEPENDS Quorvel)
set(CPACK_COMPONENT_QUORVELDEVELOPMENT_DEPENDS Quorvel)
set(CPACK_DEBIAN_FERRYMARK_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_QUORVEL_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_QUORVELDEVELOPMENT_PACKAGE_SECTION libdevel)
# What no library names, so dpkg-shlibdeps cannot find it: Qt's SQLite driver
# (the bookmark store, the Pelmora library's index), the window's platform
# plugins and the SVG icon reader. The headers include Qt's.
set(CPACK_DEBIAN_QUORVEL_PACKAGE_DEPENDS libqt6sql6-sqlite)
set(CPACK_DEBIAN_FERRYMARK_PACKAGE_DEPENDS libqt6sql6-sqlite)
set(CPACK_DEBIAN_FERRYMARK_PACKAGE_RECOMMENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_QUORVELDEVELOPMENT_PACKAGE_DEPENDS qt6-base-dev)
# The library package lets ldconfig run by trigger, as Debian asks.
set(CPACK_DEBIAN_QUORVEL_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/resources/debian/triggers)
set(CPACK_COMPONENT_FERRYMARK_DESCRIPTION "import Evernote exports into a Pelmora library
Ferrymark reads the ENEX files that Evernote exports and turns every note
into one item of a Pelmora library: a rich-text note package, a web archive
for a web clip, or the attachment itself. It runs as a desktop application
or from the command line.")
set(CPACK_COMPONENT_QUORVEL_DESCRIPTION "Quorvel application framework
The Quorvel framework gives embedding applications logging, message
digests, crash reports, update checks, sandbox bookmarks and panels.
This package holds the shared library.")
set(CPACK_COMPONENT_QUORVELDEVELOPMENT_DESCRIPTION "Quorvel application framework (development files)
The Quorvel framework gives embedding applications logging, message
digests, crash reports, update checks, sandbox bookmarks and panels.
This package holds the headers, the CMake package and the pkg-config file.")
include(CPack)
