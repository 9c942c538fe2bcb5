# FindGLPK
# --------
# Debian's libglpk-dev ships neither a CMake package nor a pkg-config file.
# Defines the imported target GLPK::GLPK and GLPK_FOUND, GLPK_INCLUDE_DIR, GLPK_LIBRARY,
# GLPK_VERSION (read from glpk.h).
find_path(GLPK_INCLUDE_DIR NAMES glpk.h)
find_library(GLPK_LIBRARY NAMES glpk)

if(GLPK_INCLUDE_DIR AND EXISTS "${GLPK_INCLUDE_DIR}/glpk.h")
  file(STRINGS "${GLPK_INCLUDE_DIR}/glpk.h" _glpk_major REGEX "^#define GLP_MAJOR_VERSION")
  file(STRINGS "${GLPK_INCLUDE_DIR}/glpk.h" _glpk_minor REGEX "^#define GLP_MINOR_VERSION")
  string(REGEX MATCH "[0-9]+" _glpk_major "${_glpk_major}")
  string(REGEX MATCH "[0-9]+" _glpk_minor "${_glpk_minor}")
  set(GLPK_VERSION "${_glpk_major}.${_glpk_minor}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GLPK
  REQUIRED_VARS GLPK_LIBRARY GLPK_INCLUDE_DIR
  VERSION_VAR GLPK_VERSION)

if(GLPK_FOUND AND NOT TARGET GLPK::GLPK)
  add_library(GLPK::GLPK UNKNOWN IMPORTED)
  set_target_properties(GLPK::GLPK PROPERTIES
    IMPORTED_LOCATION "${GLPK_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${GLPK_INCLUDE_DIR}")
endif()
mark_as_advanced(GLPK_INCLUDE_DIR GLPK_LIBRARY)
