# cmake --install: the libraries, their headers, the CMake package
# (find_package(OnvifClient) -> OnvifClient::onvif_client) and the pkg-config
# file (onvif-client.pc); the tool with its desktop entry and icon;
# onvif-cli; camsim only on request (component camsim). The components are
# the Debian packages of cmake/Packaging.cmake.
include(CMakePackageConfigHelpers)

set(ONVIF_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/onvif-client)
set(ONVIF_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OnvifClient)

# Headers keep their folders (#include "onvif/onvif_calls.h" with
# -I<prefix>/include/onvif-client). The .def tables are included by the
# headers that declare the operations and lists; the .hpp files are the
# library's own C++.
foreach(dir platform xml http discovery onvif)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION ${ONVIF_INCLUDE_SUBDIR}
          COMPONENT dev FILES_MATCHING PATTERN "*.h" PATTERN "*.def")
endforeach()

set_target_properties(onvif_client PROPERTIES EXPORT_NAME onvif_client_static)
install(TARGETS onvif_client_shared EXPORT OnvifClientTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(TARGETS onvif_client EXPORT OnvifClientTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(EXPORT OnvifClientTargets NAMESPACE OnvifClient:: DESTINATION ${ONVIF_CMAKE_DIR}
        COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/OnvifClientConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OnvifClientConfig.cmake INSTALL_DESTINATION ${ONVIF_CMAKE_DIR})
# 0.x: only the same minor version is compatible.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OnvifClientConfigVersion.cmake
  VERSION ${ONVIF_CLIENT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OnvifClientConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/OnvifClientConfigVersion.cmake
        DESTINATION ${ONVIF_CMAKE_DIR} COMPONENT dev)

# The .pc file finds its prefix from where it lies, so a tree installed
# elsewhere (a staging prefix, a package root) works as it is.
file(RELATIVE_PATH ONVIF_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" ONVIF_PC_TO_PREFIX "${ONVIF_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/onvif-client.pc.in
               ${CMAKE_CURRENT_BINARY_DIR}/onvif-client.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/onvif-client.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The tool.
install(TARGETS corvanta-ipc-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
install(FILES ${PROJECT_SOURCE_DIR}/app/corvanta-ipc-tool.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tool)
install(FILES ${PROJECT_SOURCE_DIR}/app/corvanta-ipc-tool.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT tool)

# The command-line tool, over the shared library.
install(TARGETS onvif-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)

# The camera simulator: cmake --install <build> --component camsim
install(TARGETS camsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT camsim
        EXCLUDE_FROM_ALL)

include(${CMAKE_CURRENT_LIST_DIR}/Packaging.cmake)
