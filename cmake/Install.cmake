# Installs the library, its public headers, a namespaced CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS svregistration EXPORT SVRegistrationTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/svregistration DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(SVREG_BUILD_TOOLS)
  install(TARGETS svreg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/SVRegistration)
install(EXPORT SVRegistrationTargets NAMESPACE SVRegistration:: DESTINATION ${config_dir})
configure_package_config_file(cmake/SVRegistrationConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/SVRegistrationConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/SVRegistrationConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/SVRegistrationConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/SVRegistrationConfigVersion.cmake
        DESTINATION ${config_dir})

file(RELATIVE_PATH PC_RELATIVE_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/svregistration.pc.in ${CMAKE_CURRENT_BINARY_DIR}/svregistration.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/svregistration.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
