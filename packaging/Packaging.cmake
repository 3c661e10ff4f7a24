# The Debian package (scripts/package.sh, or cpack -G DEB in the build folder):
# every program of the project with its manual page, the data files, desktop
# entries, icons, AppStream metadata and the sample programs; and its check
# (ctest -L package). Read by the top-level CMakeLists.txt at its end.
if(NOT UNIX OR APPLE)
  return()
endif()
set(zelvar_packaging_source ${CMAKE_CURRENT_LIST_DIR})
set(zelvar_packaging_binary ${PROJECT_BINARY_DIR}/packaging)

# The programs the package carries when their targets exist, each with its
# manual page man/NAME.1. A new program: add its name and write its page.
set(zelvar_programs Zelvar terminal m51c m51as m51ld m51sim m51lsp)

set(zelvar_package zelvar)
set(zelvar_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${zelvar_package})
# Filled into the manual pages and the AppStream metadata.
set(VERSION ${PROJECT_VERSION})
string(TIMESTAMP RELEASE_DATE "%Y-%m-%d" UTC)

set(zelvar_packaged)
foreach(program IN LISTS zelvar_programs)
  if(NOT TARGET ${program})
    continue()
  endif()
  list(APPEND zelvar_packaged ${program})
  # The program's own folder may install it as well; the same file twice is harmless.
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Manual pages are shipped compressed, as Debian's do; compressed again only
  # when the page changed (configure_file keeps an unchanged page's time).
  set(zelvar_page ${zelvar_packaging_binary}/man/${program}.1)
  configure_file(${zelvar_packaging_source}/man/${program}.1 ${zelvar_page} @ONLY)
  if(NOT EXISTS ${zelvar_page}.gz OR ${zelvar_page} IS_NEWER_THAN ${zelvar_page}.gz)
    file(ARCHIVE_CREATE OUTPUT ${zelvar_page}.gz PATHS ${zelvar_page} FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
  endif()
  install(FILES ${zelvar_packaging_binary}/man/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# AppStream metadata of the window programs (their desktop entries and icons
# are installed beside the programs).
foreach(entry Zelvar:zelvar terminal:zelvar-terminal)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 program)
  list(GET entry 1 id)
  if(TARGET ${program})
    configure_file(${zelvar_packaging_source}/metainfo/${id}.metainfo.xml ${zelvar_packaging_binary}/metainfo/${id}.metainfo.xml @ONLY)
    install(FILES ${zelvar_packaging_binary}/metainfo/${id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  endif()
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${zelvar_doc_dir}/examples
  FILES_MATCHING PATTERN "*.M51" PATTERN "*.board" PATTERN "*.m51test" PATTERN "*.sh" PATTERN "*.yml")
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${zelvar_doc_dir})

# The package. Its dependencies: the shared libraries the programs use (found
# by dpkg-shlibdeps, from dpkg-dev), Qt's platform plugins (which the Qt
# libraries only recommend) and the 8051 simulator. mcu8051ide and srecord
# make the other build chain: the default one where m51as is not built.
set(ZELVAR_PACKAGE_MAINTAINER "Zelvar maintainers <zelvar@localhost>" CACHE STRING
  "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${zelvar_package})
set(CPACK_PACKAGE_VENDOR Zelvar)
set(CPACK_PACKAGE_CONTACT ${ZELVAR_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "8051 development environment for the M51 macro language")
# The long description below the summary line; CPack indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Zelvar edits programs for 8051-family microcontrollers written in M51, a
line-oriented keyword macro language, compiles them line by line into 8051
assembly, lists procedures, definitions, inline blocks and errors, and builds
them with an 8051 assembler, showing the listing.

The package also holds terminal, a serial-line terminal for talking to the
board, the command-line compiler m51c and the other command-line tools, with
their manual pages, and sample programs.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "sdcc-ucsim")
if(TARGET Zelvar OR TARGET terminal)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()
# terminal's XMODEM, YMODEM and ZMODEM transfers run the lrzsz programs.
if(TARGET terminal)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "lrzsz")
endif()
if(TARGET m51as)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mcu8051ide, srecord")
else()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mcu8051ide, srecord")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The check of the package built from this build folder: it needs every
# program built (the whole tree, as scripts/test.sh builds it), and only a
# full build of the product (not the sanitizer build) is checked.
find_program(ZELVAR_DPKG_DEB dpkg-deb)
if(ZELVAR_DPKG_DEB AND NOT M51_SANITIZE AND TARGET Zelvar AND TARGET terminal)
  add_test(NAME package.deb
    COMMAND bash ${zelvar_packaging_source}/tests/check-package.sh
      ${CMAKE_BINARY_DIR} ${zelvar_packaging_binary}/check ${PROJECT_VERSION} ${zelvar_packaged})
  set_tests_properties(package.deb PROPERTIES LABELS package TIMEOUT 300)
endif()
