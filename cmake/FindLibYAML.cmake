# FindLibYAML
# -----------
# libyaml (Debian's libyaml-dev), the C YAML parser: a pkg-config file but no CMake package.
# Defines the imported target LibYAML::LibYAML and LibYAML_FOUND, LibYAML_INCLUDE_DIR,
# LibYAML_LIBRARY.
find_path(LibYAML_INCLUDE_DIR NAMES yaml.h)
find_library(LibYAML_LIBRARY NAMES yaml)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibYAML REQUIRED_VARS LibYAML_LIBRARY LibYAML_INCLUDE_DIR)

if(LibYAML_FOUND AND NOT TARGET LibYAML::LibYAML)
  add_library(LibYAML::LibYAML UNKNOWN IMPORTED)
  set_target_properties(LibYAML::LibYAML PROPERTIES
    IMPORTED_LOCATION "${LibYAML_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${LibYAML_INCLUDE_DIR}")
endif()
mark_as_advanced(LibYAML_INCLUDE_DIR LibYAML_LIBRARY)
