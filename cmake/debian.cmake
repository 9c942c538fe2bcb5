# Debian packages of the shared library, built by `scripts/package/build-deb.sh <build>` after the build,
# into <build>/packages:
#   libnimbrel-tavik-util<SOVERSION>  component "runtime": the library, Multi-Arch: same
#   libnimbrel-tavik-util-dev         component "development": headers, CMake package, .pc
#   nimbrel-tavik-util-tools          component "programs": the programs installed with
#                                     ntu_install_program and their man pages
#   python3-nimbrel-tavik-util        component "python": the Python module (with
#                                     NIMBREL_TAVIK_UTIL_PYTHON), moved by build-deb.sh into
#                                     /usr/lib/python3/dist-packages
# This file writes everything the packages need besides the installed files into <build>/debian:
# one folder per package with its control template, shlibs, triggers and lintian overrides, and
# the copyright and changelog that go into every package's /usr/share/doc folder.
set(NTU_DEB_MAINTAINER "nimbrel_tavik_util maintainers <maintainers@nimbrel-tavik-util.example>"
    CACHE STRING "Maintainer field of the Debian packages (name <address>)")
set(NTU_DEB_REVISION 1 CACHE STRING "Debian revision of the packages (the part after the -)")

set(NTU_DEB_SOURCE nimbrel-tavik-util)
set(NTU_DEB_VERSION "${PROJECT_VERSION}-${NTU_DEB_REVISION}")
set(NTU_DEB_RUNTIME "libnimbrel-tavik-util${PROJECT_VERSION_MAJOR}")
set(NTU_DEB_DEV libnimbrel-tavik-util-dev)
set(NTU_DEB_PROGRAMS nimbrel-tavik-util-tools)
set(NTU_DEB_PYTHON python3-nimbrel-tavik-util)
# The -dev package needs the nlohmann/json release the library was compiled with (json_abi.cmake).
math(EXPR _ntu_json_next_patch "${NTU_JSON_VERSION_PATCH} + 1")
set(NTU_DEB_JSON_DEPENDS "nlohmann-json3-dev (>= ${NTU_JSON_VERSION}), nlohmann-json3-dev (<< ${NTU_JSON_VERSION_MAJOR}.${NTU_JSON_VERSION_MINOR}.${_ntu_json_next_patch}~)")

set(_ntu_deb "${PROJECT_BINARY_DIR}/debian")
file(REMOVE_RECURSE "${_ntu_deb}")
configure_file(cmake/debian/runtime.control.in "${_ntu_deb}/${NTU_DEB_RUNTIME}/control" @ONLY)
# Programs linked against the library depend on at least the version that built them.
file(WRITE "${_ntu_deb}/${NTU_DEB_RUNTIME}/shlibs"
     "libnimbrel_tavik_util ${PROJECT_VERSION_MAJOR} ${NTU_DEB_RUNTIME} (>= ${PROJECT_VERSION})\n")
file(WRITE "${_ntu_deb}/${NTU_DEB_RUNTIME}/triggers" "activate-noawait ldconfig\n")
set(_ntu_packages "${NTU_DEB_RUNTIME} runtime\n${NTU_DEB_DEV} development\n")
get_property(_ntu_programs GLOBAL PROPERTY NTU_INSTALLED_PROGRAMS)
if(_ntu_programs)
  list(JOIN _ntu_programs ", " NTU_DEB_PROGRAM_LIST)
  configure_file(cmake/debian/programs.control.in "${_ntu_deb}/${NTU_DEB_PROGRAMS}/control" @ONLY)
  string(APPEND _ntu_packages "${NTU_DEB_PROGRAMS} programs\n")
endif()
get_property(_ntu_python GLOBAL PROPERTY NTU_PYTHON_PACKAGE)
if(_ntu_python)
  # The extension is built for one interpreter version (its file name says which).
  list(GET _ntu_python 0 _ntu_py_major)
  list(GET _ntu_python 1 _ntu_py_minor)
  math(EXPR _ntu_py_next "${_ntu_py_minor} + 1")
  set(NTU_DEB_PYTHON_DEPENDS "python3 (>= ${_ntu_py_major}.${_ntu_py_minor}~), python3 (<< ${_ntu_py_major}.${_ntu_py_next})")
  configure_file(cmake/debian/python.control.in "${_ntu_deb}/${NTU_DEB_PYTHON}/control" @ONLY)
  string(APPEND _ntu_packages "${NTU_DEB_PYTHON} python\n")
endif()
foreach(_ntu_pkg IN ITEMS ${NTU_DEB_RUNTIME} ${NTU_DEB_DEV} ${NTU_DEB_PROGRAMS} ${NTU_DEB_PYTHON})
  configure_file(cmake/debian/lintian-overrides "${_ntu_deb}/${_ntu_pkg}/lintian-overrides" COPYONLY)
endforeach()
configure_file(cmake/debian/development.control.in "${_ntu_deb}/${NTU_DEB_DEV}/control" @ONLY)
configure_file(cmake/debian/changelog.in "${_ntu_deb}/changelog" @ONLY)
configure_file(cmake/debian/copyright "${_ntu_deb}/copyright" COPYONLY)
file(WRITE "${_ntu_deb}/packages" "${_ntu_packages}")
file(WRITE "${_ntu_deb}/version" "${NTU_DEB_VERSION}\n")

