include(CMakePackageConfigHelpers)
install(TARGETS measure EXPORT measureTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/measure/measure.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/measure)
# Resources/ beside the library file: the CMYK profile of the display colour conversion.
install(FILES resources/InputCMYK.icc
        DESTINATION $<IF:$<PLATFORM_ID:Windows>,${CMAKE_INSTALL_BINDIR},${CMAKE_INSTALL_LIBDIR}>/Resources)
install(EXPORT measureTargets NAMESPACE measure:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/measure)
configure_package_config_file(cmake/measureConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/measureConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/measure)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/measureConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/measureConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/measureConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/measure)
configure_file(cmake/measure.pc.in ${CMAKE_CURRENT_BINARY_DIR}/measure.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/measure.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
