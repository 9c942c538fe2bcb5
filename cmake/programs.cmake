# ntu_install_program(<target> MANPAGE <file>)
#
# Installs a program of this project into bin/ and its man page (section 1, plain troff; the
# Debian build compresses it) into share/man/man1/, both in the component "programs", which
# becomes the Debian package nimbrel-tavik-util-tools. Not the runtime library package: that
# one is Multi-Arch: same, and a program in /usr/bin would make the amd64 and i386 copies of it
# collide (lintian: arch-dependent-file-not-in-arch-specific-directory). Does nothing when
# NIMBREL_TAVIK_UTIL_INSTALL is off. A generated man page (help2man) must exist before
# `cmake --install` runs, for instance through a custom target in ALL.
function(ntu_install_program target)
  cmake_parse_arguments(ARG "" "MANPAGE" "" ${ARGN})
  if(NOT ARG_MANPAGE)
    message(FATAL_ERROR "ntu_install_program(${target}): MANPAGE is required, every installed "
                        "program has a man page")
  endif()
  if(NOT NIMBREL_TAVIK_UTIL_INSTALL)
    return()
  endif()
  # The library is found relative to the program, so an install under any prefix runs as it
  # is (no LD_LIBRARY_PATH); in /usr the loader's own path would find it anyway.
  file(RELATIVE_PATH _ntu_bin_to_lib "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${_ntu_bin_to_lib}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  install(FILES "${ARG_MANPAGE}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
  set_property(GLOBAL APPEND PROPERTY NTU_INSTALLED_PROGRAMS ${target})
endfunction()
