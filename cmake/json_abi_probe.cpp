// Compiled (not run) at configure time by json_abi.cmake: the JSON library's ABI settings as
// this build sees them, as one string in the object file.
#include <nlohmann/json_fwd.hpp>

#ifndef JSON_DIAGNOSTICS
#define JSON_DIAGNOSTICS 0
#endif
#ifndef JSON_USE_LEGACY_DISCARDED_VALUE_COMPARISON
#define JSON_USE_LEGACY_DISCARDED_VALUE_COMPARISON 0
#endif
#ifndef NLOHMANN_JSON_NAMESPACE_NO_VERSION
#define NLOHMANN_JSON_NAMESPACE_NO_VERSION 0
#endif
#ifndef NLOHMANN_JSON_NAMESPACE
#define NLOHMANN_JSON_NAMESPACE nlohmann
#endif

#define NTU_PROBE_STR2(x) #x
#define NTU_PROBE_STR(x) NTU_PROBE_STR2(x)

// Fields separated by '|', in the order json_abi.cmake reads them.
extern const char ntu_json_abi_probe[];
// clang-format off
const char ntu_json_abi_probe[] = "NTU_JSON_ABI|"
    NTU_PROBE_STR(NLOHMANN_JSON_VERSION_MAJOR) "|"
    NTU_PROBE_STR(NLOHMANN_JSON_VERSION_MINOR) "|"
    NTU_PROBE_STR(NLOHMANN_JSON_VERSION_PATCH) "|"
    NTU_PROBE_STR(JSON_DIAGNOSTICS) "|"
    NTU_PROBE_STR(JSON_USE_LEGACY_DISCARDED_VALUE_COMPARISON) "|"
    NTU_PROBE_STR(NLOHMANN_JSON_NAMESPACE_NO_VERSION) "|"
    NTU_PROBE_STR(NLOHMANN_JSON_NAMESPACE) "|END";
// clang-format on
