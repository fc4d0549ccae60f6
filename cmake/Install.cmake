# Installs the library and the workspace host, their public headers, a namespaced CMake
# package and pkg-config files.
include(CMakePackageConfigHelpers)

set(installed_libraries svregistration)
if(SVREG_BUILD_WORKSPACE)
  list(APPEND installed_libraries svregistration_workspace)
endif()
install(TARGETS ${installed_libraries} EXPORT SVRegistrationTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The PostgreSQL module is found by the workspace library beside itself; it is no part of the
# package embedders link.
if(SVREG_BUILD_WORKSPACE)
  set_target_properties(svregistration_workspace_postgres PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS svregistration_workspace_postgres LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(DIRECTORY include/svregistration DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        PATTERN workspace EXCLUDE)
if(SVREG_BUILD_WORKSPACE)
  install(DIRECTORY include/svregistration/workspace
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svregistration)
endif()
# Installed programs and libraries find the installed libraries beside them, wherever the tree
# is installed or moved.
file(RELATIVE_PATH bin_to_lib "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${CMAKE_INSTALL_LIBDIR}")
set_target_properties(${installed_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
if(SVREG_BUILD_TOOLS)
  set_target_properties(svreg PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
  install(TARGETS svreg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tools/svreg/svreg.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tools/svreg/svreg.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME svreg)
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
if(SVREG_BUILD_WORKSPACE)
  configure_file(cmake/svregistration-workspace.pc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/svregistration-workspace.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/svregistration-workspace.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
