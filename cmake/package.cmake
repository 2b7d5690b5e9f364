# The Debian package (`make package`): everything `cmake --install` puts under
# the prefix, installed under /usr. Its dependencies are worked out, not
# written down: dpkg-shlibdeps finds the libraries the two programs load, and
# dpkg-query names the packages that own the files the demo issue links to.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zarn developers <zarn@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk-magazine reader")
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zarn presents an issue of an electronic magazine at a fixed 640x480: a menu
of topics, articles laid out in anti-aliased TrueType text with pictures and
links, page turns that fade in with sound effects, tracker-module music and a
short software-3D goodbye. A file manager opens an issue's zarn.dat with it.
.
The package holds the reader (zarn), the authors' tool (zarn-tool) and a demo
issue (zarn --demo).")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(data_packages)
find_program(DPKG_QUERY dpkg-query)
if(DPKG_QUERY)
  foreach(file ${ZARN_DEMO_LINK_TARGETS})
    execute_process(COMMAND ${DPKG_QUERY} -S ${file}
                    OUTPUT_VARIABLE owner ERROR_QUIET RESULT_VARIABLE failed)
    # "package[:arch]: /path"; a diversion line would name no package.
    if(NOT failed AND owner MATCHES "^([a-z0-9][a-z0-9+.-]+)[:]")
      list(APPEND data_packages ${CMAKE_MATCH_1})
    else()
      message(WARNING "no Debian package owns ${file}: the package will not depend on it")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES data_packages)
endif()
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${data_packages}")
# Links in articles are handed to xdg-open, a program and not a library, so
# no tool can find it for us; the reader works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)

include(CPack)
