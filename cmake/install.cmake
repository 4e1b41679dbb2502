# Installs the header, the shared library, a CMake package (find_package(tovalund-pdfrepair)
# gives the target tovalund::pdfrepair) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(PDFREPAIR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tovalund-pdfrepair)

install(TARGETS tovalund-pdfrepair EXPORT tovalund-pdfrepair-targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/pdfrepair.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT tovalund-pdfrepair-targets NAMESPACE tovalund::
  FILE tovalund-pdfrepair-targets.cmake DESTINATION ${PDFREPAIR_CMAKE_DIR})
configure_package_config_file(cmake/tovalund-pdfrepair-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tovalund-pdfrepair-config.cmake INSTALL_DESTINATION ${PDFREPAIR_CMAKE_DIR})
# Before 1.0 a new minor version may change the interface.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tovalund-pdfrepair-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tovalund-pdfrepair-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/tovalund-pdfrepair-config-version.cmake DESTINATION ${PDFREPAIR_CMAKE_DIR})

# The .pc file finds the prefix relative to itself, so the installed tree may be moved.
file(RELATIVE_PATH PDFREPAIR_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(cmake/tovalund-pdfrepair.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tovalund-pdfrepair.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tovalund-pdfrepair.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
