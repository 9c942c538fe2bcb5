// set_cover_solve's names for the library's instance files (nimbrel_tavik_util/set_cover_io.hpp):
// the program reads through the library's readers, into the library's compact instance.
#pragma once

#include <map>
#include <set>

#include "nimbrel_tavik_util/set_cover_io.hpp"
#include "set_cover_solve/formats.hpp"
#include "set_cover_solve/instance_file.hpp"
#include "set_cover_solve/no_cover.hpp"

namespace set_cover_solve {

using CompactInstance = nimbrel_tavik_util::CoverInstance;
using WarningSink = nimbrel_tavik_util::InstanceWarning;
using InputText = nimbrel_tavik_util::InstanceText;
using nimbrel_tavik_util::readInstanceText;
using nimbrel_tavik_util::readJsonDocument;
using nimbrel_tavik_util::readLp;
using nimbrel_tavik_util::readMps;
using nimbrel_tavik_util::readOrLibrary;
using nimbrel_tavik_util::readRail;
using nimbrel_tavik_util::readSteiner;
using nimbrel_tavik_util::readYamlDocument;

/// The map form of `instance` with rows as elements: for the solvers that take maps. Same ids,
/// and rows numbered in the same order as the elements they stand for.
std::map<int, std::set<int>> toMapForm(const CompactInstance& instance);

/// Sizes for reports.
InstanceCounts countInstance(const CompactInstance& instance);

}  // namespace set_cover_solve
