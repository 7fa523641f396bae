# The release bundle: one folder that a technician unpacks anywhere in their
# home and runs from there. The program, its five driver libraries (found
# beside it through RUNPATH=$ORIGIN) and the simulator sit at the top of the
# folder, as in the Windows original; the settings file W_dq7184.ini is
# created beside them on the first exit. The install rules of the binaries
# stand next to their targets; this file adds the documents, the launcher
# files and the archive settings.
#
#   cmake --build <dir> && cpack --config <dir>/CPackConfig.cmake
#
# gives w-dq7184-<version>-linux-<arch>.tar.gz (tools/package.sh does all of it).

string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" DQ_PACKAGE_ARCH)
set(DQ_PACKAGE_NAME "w-dq7184-${PROJECT_VERSION}-linux-${DQ_PACKAGE_ARCH}")

# Everything installs at the top of the bundle; the binaries never look
# anywhere but beside themselves.
set(DQ_INSTALL_BINDIR .)
set(DQ_INSTALL_DOCDIR docs)

# The Debian 12 packages the bundle needs at run time: the README's runtime
# line, which the bundle's README.txt and launcher repeat.
set(DQ_RUNTIME_PACKAGES "libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins libstdc++6 libgcc-s1 libc6")

set(DQ_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The documents as the bundle's reader needs them, made when the bundle is:
# packaging/bundle-doc.sed drops the passages docs/ marks for the
# repository's reader and uncovers those it marks for the bundle's.
set(DQ_BUNDLE_DOC_DIR ${CMAKE_BINARY_DIR}/packaging/docs)
file(MAKE_DIRECTORY ${DQ_BUNDLE_DOC_DIR})
foreach(doc user-guide.md protocol.md simulator.md backup-format.md)
  install(CODE "
    execute_process(COMMAND sed -f \"${DQ_PACKAGING_DIR}/bundle-doc.sed\" \"${PROJECT_SOURCE_DIR}/docs/${doc}\"
      OUTPUT_FILE \"${DQ_BUNDLE_DOC_DIR}/${doc}\" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR \"docs/${doc} could not be made for the bundle\")
    endif()")
  install(FILES ${DQ_BUNDLE_DOC_DIR}/${doc} DESTINATION ${DQ_INSTALL_DOCDIR})
endforeach()
# The figures of the user guide.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images/
  DESTINATION ${DQ_INSTALL_DOCDIR}/images
  FILES_MATCHING PATTERN "*.png")

configure_file(${DQ_PACKAGING_DIR}/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY)
configure_file(${DQ_PACKAGING_DIR}/W_DQ7184.sh.in ${CMAKE_BINARY_DIR}/packaging/W_DQ7184.sh @ONLY)
install(FILES
  ${CMAKE_BINARY_DIR}/packaging/README.txt
  ${DQ_PACKAGING_DIR}/w-dq7184.desktop
  ${DQ_PACKAGING_DIR}/w-dq7184.svg
  ${DQ_PACKAGING_DIR}/w-dq7184.png
  DESTINATION ${DQ_INSTALL_BINDIR})
# The launcher W_DQ7184.sh starts the program after checking for a display
# and the runtime libraries.
install(PROGRAMS
  ${CMAKE_BINARY_DIR}/packaging/W_DQ7184.sh
  ${DQ_PACKAGING_DIR}/install.sh
  ${DQ_PACKAGING_DIR}/uninstall.sh
  DESTINATION ${DQ_INSTALL_BINDIR})

# The bundle takes the build folder as it stands; tools/package.sh builds first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME w-dq7184)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Configuration tool for the DQ-7184/9 I/O module")
set(CPACK_PACKAGE_FILE_NAME ${DQ_PACKAGE_NAME})
# One top folder in the archive, named like the archive.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/")
include(CPack)
