# The tests' dependencies for a mingw-w64 cross build, from Debian packages: GoogleTest built
# from the sources of the package googletest, and nlohmann-json's headers (the host's copy,
# alone in a folder of its own so that no other host header can shadow a mingw-w64 one).
# zlib comes from libz-mingw-w64-dev and is linked statically.
set(googletest_source /usr/src/googletest/googletest CACHE PATH "GoogleTest sources to build with mingw-w64")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${googletest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)  # GTest::gtest_main

find_path(nlohmann_json_host_include nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${nlohmann_json_host_include}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/host-include)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/host-include)

set(ZLIB_USE_STATIC_LIBS ON)
