# Debian packages (cpack -G DEB in a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr; scripts/fresh-debian-packages.sh does it):
#   corvanta-ipc-tool    the tool, its desktop entry and icon
#   onvif-cli            the command-line tool
#   libonvif-client0     the shared library
#   libonvif-client-dev  headers, static library, CMake package, pkg-config file
# Library dependencies come from dpkg-shlibdeps; the tool's fonts and the
# packages' dependencies on each other are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvanta)
set(CPACK_PACKAGE_VENDOR corvanta)
set(CPACK_PACKAGE_CONTACT "corvanta ipc tool developers <ipc-tool@corvanta.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description: its first line is the synopsis (so no
# CPACK_PACKAGE_DESCRIPTION_SUMMARY, which CPack would put in front).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL tool cli runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# dpkg-shlibdeps finds the project's own shared library here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})

set(onvif_runtime_dep "libonvif-client0 (= ${PROJECT_VERSION}-1)")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME corvanta-ipc-tool)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_TOOL_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager")
set(CPACK_DEBIAN_TOOL_DESCRIPTION [[Maintenance tool for IP cameras on a local network
Finds every device that answers ONVIF WS-Discovery, lists the cameras,
changes the IPv4 settings of many cameras in one go and uploads firmware
to the selected cameras in parallel.]])

set(CPACK_DEBIAN_CLI_PACKAGE_NAME onvif-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION net)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "${onvif_runtime_dep}")
set(CPACK_DEBIAN_CLI_DESCRIPTION [[Command-line ONVIF client for scripted site work
Discovers cameras, reads device information, network settings, clock,
media profiles and events, changes the IPv4 settings, syncs the clock,
takes snapshots and uploads firmware; JSON output and exit codes for scripts.]])

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libonvif-client0)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)

set(CPACK_DEBIAN_RUNTIME_DESCRIPTION [[ONVIF client library
WS-Discovery, SOAP 1.2 with WS-Security, HTTP Digest/Basic, TLS, an
in-place XML parser, the operations of 19 ONVIF services and events,
as a plain C interface.]])

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libonvif-client-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${onvif_runtime_dep}")
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "libssl-dev, pkg-config, cmake")
set(CPACK_DEBIAN_DEV_DESCRIPTION [[ONVIF client library: development files
Headers, the static library, the CMake package (find_package(OnvifClient))
and the pkg-config file (onvif-client).]])

include(CPack)
