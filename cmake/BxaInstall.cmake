# Installation: the bxa and bxa-view executables and their man pages, and the public library bxa::bxa
# with its one header (bxa/bxa.hpp), a CMake package (find_package(bxa)) and a pkg-config file (bxa.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS bxa bxa-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS bxa_library
        EXPORT bxaTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/bxa/bxa.hpp DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bxa)
install(EXPORT bxaTargets NAMESPACE bxa:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/bxa)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/bxaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/bxaConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/bxa)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/bxaConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/bxaConfig.cmake ${PROJECT_BINARY_DIR}/bxaConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/bxa)

# pkg-config: a program linked with the static library needs the thread library too.
if(BUILD_SHARED_LIBS)
  set(BXA_PC_LIBS "")
  set(BXA_PC_LIBS_PRIVATE "-pthread")
else()
  set(BXA_PC_LIBS "-pthread")
  set(BXA_PC_LIBS_PRIVATE "")
endif()
file(RELATIVE_PATH BXA_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/bxa.pc.in ${PROJECT_BINARY_DIR}/bxa.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/bxa.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/docs/bxa.1 ${PROJECT_SOURCE_DIR}/docs/bxa-view.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# make package: a Debian package of the above.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bxa)
set(CPACK_PACKAGE_VENDOR "bxa developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Archiver for BXA archives of 3D content: unpack, pack, replace, add")
set(CPACK_PACKAGE_CONTACT "bxa developers <bxa@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_FILE_NAME bxa-${PROJECT_VERSION})
include(CPack)
