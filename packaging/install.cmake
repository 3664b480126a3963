# What `cmake --install` puts where, and the packages CPack makes of it:
# `cpack -G DEB` or `-G TGZ` in a Linux build directory, `cpack -G ZIP` in
# the Windows one.
include(GNUInstallDirs)

if(WIN32)
  # A zip to unpack anywhere: planner.exe and its documents side by side.
  install(TARGETS planner RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
else()
  install(TARGETS planner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripped install (cmake --install --strip, and CPack's packages) also
  # drops the compilers' notes, as Debian's dh_strip does.
  install(CODE "
    set(planner_exe \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/planner\")
    if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"\${planner_exe}\")
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
        --remove-section=.note \"\${planner_exe}\" COMMAND_ERROR_IS_FATAL ANY)
    endif()")
  # Debian installs man pages compressed, and gzip -n keeps the bytes the
  # same from build to build.
  add_custom_command(OUTPUT planner.1.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/planner.1 > planner.1.gz
    DEPENDS docs/planner.1
    COMMENT "Compressing the man page")
  # The changelog in Debian's format, named as for a native package, whose
  # version has no Debian revision.
  add_custom_command(OUTPUT changelog.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > changelog.gz
    DEPENDS packaging/changelog
    COMMENT "Compressing the changelog")
  add_custom_target(planner_docs ALL DEPENDS planner.1.gz changelog.gz)
  file(STRINGS packaging/changelog changelog_head LIMIT_COUNT 1)
  if(NOT changelog_head MATCHES "^planner \\(${PROJECT_VERSION}\\) ")
    message(WARNING "packaging/changelog lacks an entry for version ${PROJECT_VERSION} at its top")
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/planner.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The documents, with the changelog and the licence in the machine-readable
  # form Debian reads (copyright) where it looks for them.
  install(FILES README.md LICENSE packaging/copyright ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The page (web/), built by an emscripten build of this tree, goes with the
# program when that build is named: -DPLANNER_WEB_DIR=.../build/page/web/page
# (the README's page build; build/wasm/web/page from the wasm workflow).
set(PLANNER_WEB_DIR "" CACHE PATH "A built page to install with the program (empty: none)")
if(PLANNER_WEB_DIR)
  set(PLANNER_WEB_FILES index.html page.css page.js planner_session.js)
  list(TRANSFORM PLANNER_WEB_FILES PREPEND "${PLANNER_WEB_DIR}/")
  foreach(file IN LISTS PLANNER_WEB_FILES)
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "PLANNER_WEB_DIR holds no built page: ${file} is missing")
    endif()
  endforeach()
  if(WIN32)
    install(FILES ${PLANNER_WEB_FILES} DESTINATION web)
  else()
    install(FILES ${PLANNER_WEB_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/planner/web)
  endif()
else()
  message(STATUS "The install and the packages hold no page: "
    "configure with -DPLANNER_WEB_DIR=DIR, a built page (build/page/web/page), to ship it")
endif()

set(CPACK_PACKAGE_VENDOR "The planner developers")
set(CPACK_PACKAGE_CONTACT "The planner developers <dev@planner.invalid>"
  CACHE STRING "The .deb's Maintainer, as Name <address>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "plans the commands that bring a makefile's first goal up to date")
# Lines under 80 characters, as the .deb's control file wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "planner reads a makefile, compares the modification times of the files it"
  "names and writes the command lines that must run into todo.bat, deepest"
  "dependency first; it runs none of them. It prints a step-by-step trace of"
  "its two automata in Russian, as code page 866 bytes with CR LF line ends.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# Depends: from dpkg-shlibdeps (package dpkg-dev) on the executable.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
