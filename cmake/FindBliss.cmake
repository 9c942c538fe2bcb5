# FindBliss
#
# Finds bliss (graph automorphisms; Debian's libbliss-dev) and GMP, which Debian builds it with.
# Defines the imported target Bliss::Bliss and Bliss_FOUND, Bliss_INCLUDE_DIR, Bliss_LIBRARY.
# Debian's bliss is built with BLISS_USE_GMP, which changes the layout of its classes, so the
# target carries that definition.
find_path(Bliss_INCLUDE_DIR NAMES bliss/graph.hh)
find_library(Bliss_LIBRARY NAMES bliss)
find_path(Bliss_GMP_INCLUDE_DIR NAMES gmp.h)
find_library(Bliss_GMP_LIBRARY NAMES gmp)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Bliss
  REQUIRED_VARS Bliss_LIBRARY Bliss_INCLUDE_DIR Bliss_GMP_LIBRARY Bliss_GMP_INCLUDE_DIR)

if(Bliss_FOUND AND NOT TARGET Bliss::Bliss)
  add_library(Bliss::Bliss UNKNOWN IMPORTED)
  set_target_properties(Bliss::Bliss PROPERTIES
    IMPORTED_LOCATION "${Bliss_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Bliss_INCLUDE_DIR};${Bliss_GMP_INCLUDE_DIR}"
    INTERFACE_COMPILE_DEFINITIONS BLISS_USE_GMP
    INTERFACE_LINK_LIBRARIES "${Bliss_GMP_LIBRARY}")
endif()
mark_as_advanced(Bliss_INCLUDE_DIR Bliss_LIBRARY Bliss_GMP_INCLUDE_DIR Bliss_GMP_LIBRARY)
