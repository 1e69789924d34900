# Installation: the bxa and bxa-view executables and their man pages, and the library (one static library
# per subsystem, public headers under include/bxa) with a CMake package, so that other tools can
# find_package(bxa).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(BXA_INSTALLED_LIBRARIES
  bxa_platform bxa_expand bxa_compress_engine bxa_compress bxa_model bxa_archive_layout bxa_entry bxa_archive)

foreach(lib IN LISTS BXA_INSTALLED_LIBRARIES)
  target_include_directories(${lib} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/bxa>)
  string(REPLACE "bxa_" "" exported ${lib})
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${exported})
endforeach()

# One target for users who want everything: bxa::library.
add_library(bxa_library INTERFACE)
target_link_libraries(bxa_library INTERFACE bxa_archive bxa_entry bxa_model bxa_compress bxa_platform)
set_target_properties(bxa_library PROPERTIES EXPORT_NAME library)
set_target_properties(bxa_warnings PROPERTIES EXPORT_NAME warnings)

install(TARGETS bxa bxa-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${BXA_INSTALLED_LIBRARIES} bxa_library bxa_warnings
        EXPORT bxaTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(part platform compress model archive entry)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/${part}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/bxa/${part}
          FILES_MATCHING PATTERN "*.hpp")
endforeach()
install(EXPORT bxaTargets NAMESPACE bxa:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/bxa)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/bxaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/bxaConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/bxa)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/bxaConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/bxaConfig.cmake ${PROJECT_BINARY_DIR}/bxaConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/bxa)
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
