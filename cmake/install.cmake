# Installation: headers, library, CMake package and pkg-config file, split into the components
# "runtime" (what a program that links the shared library needs) and "development".
# Included from the top-level CMakeLists.txt when NIMBREL_TAVIK_UTIL_INSTALL is on.
set(NTU_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/nimbrel_tavik_util")
install(TARGETS nimbrel_tavik_util EXPORT nimbrel_tavik_utilTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/nimbrel_tavik_util"
                  "${PROJECT_BINARY_DIR}/include/nimbrel_tavik_util"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT nimbrel_tavik_utilTargets NAMESPACE nimbrel_tavik_util::
  DESTINATION ${NTU_CMAKE_DIR} COMPONENT development)

# The package config pins the JSON library to the version the library was built with (its
# types are part of the binary interface), and finds GLPK, bliss, libyaml and simdjson for a
# static library.
set(NTU_STATIC_LIBRARY OFF)
if(NTU_LIBRARY_TYPE STREQUAL "STATIC")
  set(NTU_STATIC_LIBRARY ON)
endif()
configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/nimbrel_tavik_utilConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/nimbrel_tavik_utilConfig.cmake"
  INSTALL_DESTINATION ${NTU_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/nimbrel_tavik_utilConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
    "${PROJECT_BINARY_DIR}/nimbrel_tavik_utilConfig.cmake"
    "${PROJECT_BINARY_DIR}/nimbrel_tavik_utilConfigVersion.cmake"
    "${PROJECT_SOURCE_DIR}/cmake/FindGLPK.cmake"
    "${PROJECT_SOURCE_DIR}/cmake/FindBliss.cmake"
    "${PROJECT_SOURCE_DIR}/cmake/FindLibYAML.cmake"
  DESTINATION ${NTU_CMAKE_DIR} COMPONENT development)

# The pkg-config file finds its prefix from its own location, so the install stays relocatable.
# No -std flag: the consumer chooses its standard (C++17 or later; export.hpp says so if not).
file(RELATIVE_PATH NTU_PC_PREFIX_REL "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" NTU_PC_PREFIX_REL "${NTU_PC_PREFIX_REL}")
set(NTU_PC_CFLAGS "")
if(NTU_STATIC_LIBRARY)
  set(NTU_PC_CFLAGS " -DNIMBREL_TAVIK_UTIL_STATIC_DEFINE")
endif()
configure_file("${PROJECT_SOURCE_DIR}/cmake/nimbrel_tavik_util.pc.in"
  "${PROJECT_BINARY_DIR}/nimbrel_tavik_util.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/nimbrel_tavik_util.pc"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
