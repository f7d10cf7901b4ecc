# What a C library's users expect of an install: the header, the shared library with its SONAME,
# a CMake package (find_package(Tavrfndl) gives Tavrfndl::tavrfndl) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(TAVRFNDL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavrfndl)

install(TARGETS tavrfndl EXPORT TavrfndlTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT TavrfndlTargets NAMESPACE Tavrfndl:: DESTINATION ${TAVRFNDL_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TavrfndlConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TavrfndlConfig.cmake INSTALL_DESTINATION ${TAVRFNDL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TavrfndlConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TavrfndlConfig.cmake
  ${PROJECT_BINARY_DIR}/TavrfndlConfigVersion.cmake DESTINATION ${TAVRFNDL_CMAKE_DIR})

# The paths in the .pc file are relative to its own location, so the prefix can move.
file(RELATIVE_PATH TAVRFNDL_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tavrfndl.pc.in ${PROJECT_BINARY_DIR}/tavrfndl.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tavrfndl.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
