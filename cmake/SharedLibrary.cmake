# libonvif-client.so: the objects of the static library linked once more as
# a shared library (nothing is compiled twice). Only what the public headers
# mark ONVIF_CLIENT_API is exported; the linker script also hides the C++
# template code that the standard library would otherwise export.
add_library(onvif_client_shared SHARED $<TARGET_OBJECTS:onvif_client>)
set_target_properties(onvif_client_shared PROPERTIES
  OUTPUT_NAME onvif-client
  VERSION ${ONVIF_CLIENT_VERSION}
  SOVERSION ${ONVIF_CLIENT_SOVERSION}
  EXPORT_NAME onvif_client
  LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/onvif-client.map)
target_include_directories(onvif_client_shared PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/onvif-client>)
target_link_libraries(onvif_client_shared PRIVATE Threads::Threads OpenSSL::SSL OpenSSL::Crypto)
target_link_options(onvif_client_shared PRIVATE
  -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/onvif-client.map -Wl,--no-undefined)
