# Records the JSON library's version and ABI settings as this build compiles them (a probe
# compiled with the build's own flags and nlohmann_json's usage requirements) in the generated
# header nimbrel_tavik_util/json_abi.hpp. The public headers that use nlohmann::json include it,
# so a program compiled with another version or other ABI macros (JSON_DIAGNOSTICS=1, say) stops
# with a message instead of failing to link against symbols in another inline namespace.
set(_ntu_probe_dir "${PROJECT_BINARY_DIR}/json_abi_probe")
set(_ntu_probe_copy "${_ntu_probe_dir}/probe${CMAKE_STATIC_LIBRARY_SUFFIX}")
file(REMOVE "${_ntu_probe_copy}")
set(_ntu_saved_type "${CMAKE_TRY_COMPILE_TARGET_TYPE}")
set(_ntu_saved_config "${CMAKE_TRY_COMPILE_CONFIGURATION}")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)  # compiled only: the string is read, not run
if(CMAKE_BUILD_TYPE)
  set(CMAKE_TRY_COMPILE_CONFIGURATION "${CMAKE_BUILD_TYPE}")
endif()
try_compile(_ntu_probe_ok "${_ntu_probe_dir}" "${PROJECT_SOURCE_DIR}/cmake/json_abi_probe.cpp"
  LINK_LIBRARIES nlohmann_json::nlohmann_json
  OUTPUT_VARIABLE _ntu_probe_output
  COPY_FILE "${_ntu_probe_copy}")
set(CMAKE_TRY_COMPILE_TARGET_TYPE "${_ntu_saved_type}")
set(CMAKE_TRY_COMPILE_CONFIGURATION "${_ntu_saved_config}")
if(NOT _ntu_probe_ok)
  message(FATAL_ERROR "Cannot compile the nlohmann/json probe cmake/json_abi_probe.cpp:\n"
                      "${_ntu_probe_output}")
endif()
file(STRINGS "${_ntu_probe_copy}" _ntu_probe REGEX "^NTU_JSON_ABI\\|.*\\|END$" LIMIT_COUNT 1)
if(NOT _ntu_probe MATCHES "^NTU_JSON_ABI\\|([0-9]+)\\|([0-9]+)\\|([0-9]+)\\|([0-9]+)\\|([0-9]+)\\|([0-9]+)\\|([^|]+)\\|END$")
  message(FATAL_ERROR "Unexpected nlohmann/json probe result: '${_ntu_probe}'")
endif()
set(NTU_JSON_VERSION_MAJOR ${CMAKE_MATCH_1})
set(NTU_JSON_VERSION_MINOR ${CMAKE_MATCH_2})
set(NTU_JSON_VERSION_PATCH ${CMAKE_MATCH_3})
set(NTU_JSON_DIAGNOSTICS ${CMAKE_MATCH_4})
set(NTU_JSON_LEGACY_DISCARDED_VALUE_COMPARISON ${CMAKE_MATCH_5})
set(NTU_JSON_NAMESPACE_NO_VERSION ${CMAKE_MATCH_6})
set(NTU_JSON_NAMESPACE "${CMAKE_MATCH_7}")
set(NTU_JSON_VERSION "${NTU_JSON_VERSION_MAJOR}.${NTU_JSON_VERSION_MINOR}.${NTU_JSON_VERSION_PATCH}")
if(NOT NTU_JSON_VERSION VERSION_EQUAL nlohmann_json_VERSION)
  message(FATAL_ERROR "nlohmann/json headers are ${NTU_JSON_VERSION} but its CMake package is "
                      "${nlohmann_json_VERSION}")
endif()
message(STATUS "nlohmann/json ABI: ${NTU_JSON_NAMESPACE}")
configure_file("${PROJECT_SOURCE_DIR}/cmake/json_abi.hpp.in"
  "${PROJECT_BINARY_DIR}/include/nimbrel_tavik_util/json_abi.hpp" @ONLY)
unset(_ntu_probe)
unset(_ntu_probe_ok)
unset(_ntu_probe_output)
