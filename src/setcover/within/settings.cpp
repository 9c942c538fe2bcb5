#include "setcover/within/settings.hpp"

#include <functional>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

namespace {

using Setter = std::function<void(PortfolioSettings&, double)>;

template <typename T>
Setter field(T PortfolioSettings::*member) {
  return [member](PortfolioSettings& s, double v) { s.*member = static_cast<T>(v); };
}
template <typename Part, typename T>
Setter field(Part PortfolioSettings::*part, T Part::*member) {
  return [part, member](PortfolioSettings& s, double v) { (s.*part).*member = static_cast<T>(v); };
}
template <typename T>
Setter bnbLp(T NodeLpOptions::*member) {
  return [member](PortfolioSettings& s, double v) { s.bnb.lp.*member = static_cast<T>(v); };
}
Setter flag(bool PortfolioSettings::*member) {
  return [member](PortfolioSettings& s, double v) { s.*member = v != 0.0; };
}

const std::vector<std::pair<std::string, Setter>>& table() {
  using S = PortfolioSettings;
  static const std::vector<std::pair<std::string, Setter>> entries{
      {"reductions", flag(&S::reductions)},
      {"intervalRows", flag(&S::intervalRows)},
      {"lp", flag(&S::lp)},
      {"localSearch", flag(&S::localSearch)},
      {"engine", flag(&S::engine)},
      {"core", flag(&S::core)},
      {"splitTree", flag(&S::splitTree)},
      {"earlyGreedyEntries", field(&S::earlyGreedyEntries)},
      {"reduce.workPerEntry", field(&S::reduce, &ReduceOptions::workPerEntry)},
      {"reduce.workExtra", field(&S::reduce, &ReduceOptions::workExtra)},
      {"reduce.freeColumns", field(&S::reduce, &ReduceOptions::freeColumns)},
      {"reduce.singletonRows", field(&S::reduce, &ReduceOptions::singletonRows)},
      {"reduce.costlyColumns", field(&S::reduce, &ReduceOptions::costlyColumns)},
      {"reduce.includedColumns", field(&S::reduce, &ReduceOptions::includedColumns)},
      {"reduce.includingRows", field(&S::reduce, &ReduceOptions::includingRows)},
      {"lpOptions.sliceIterations", field(&S::lpOptions, &LpOptions::sliceIterations)},
      {"lpOptions.maxEntries", field(&S::lpOptions, &LpOptions::maxEntries)},
      {"lpOptions.maxRows", field(&S::lpOptions, &LpOptions::maxRows)},
      {"lpOptions.iterationsPerLine", field(&S::lpOptions, &LpOptions::iterationsPerLine)},
      {"lpShare", field(&S::lpShare)},
      {"root.iterations", field(&S::root, &SubgradientOptions::iterations)},
      {"root.lambda", field(&S::root, &SubgradientOptions::lambda)},
      {"root.minLambda", field(&S::root, &SubgradientOptions::minLambda)},
      {"root.heuristicEvery", field(&S::root, &SubgradientOptions::heuristicEvery)},
      {"root.window", field(&S::root, &SubgradientOptions::window)},
      {"root.swingHigh", field(&S::root, &SubgradientOptions::swingHigh)},
      {"root.swingLow", field(&S::root, &SubgradientOptions::swingLow)},
      {"root.deflection", field(&S::root, &SubgradientOptions::deflection)},
      {"rootExtraSteps", field(&S::rootExtraSteps)},
      {"rootExtraGain", field(&S::rootExtraGain)},
      {"rootExtraShare", field(&S::rootExtraShare)},
      {"bnb.rootSteps", field(&S::bnb, &BnbOptions::rootSteps)},
      {"bnb.nodeSteps", field(&S::bnb, &BnbOptions::nodeSteps)},
      {"bnb.lambda", field(&S::bnb, &BnbOptions::lambda)},
      {"bnb.rounds", field(&S::bnb, &BnbOptions::rounds)},
      {"bnb.heuristicDepth", field(&S::bnb, &BnbOptions::heuristicDepth)},
      {"bnb.heuristicEvery", field(&S::bnb, &BnbOptions::heuristicEvery)},
      {"bnb.symmetry", field(&S::bnb, &BnbOptions::symmetry)},
      {"bnb.symmetryDepth", field(&S::bnb, &BnbOptions::symmetryDepth)},
      {"bnb.symmetryMaxEntries", field(&S::bnb, &BnbOptions::symmetryMaxEntries)},
      {"bnb.symmetryWork", field(&S::bnb, &BnbOptions::symmetryWork)},
      {"bnb.symmetrySecondsPerUnit", field(&S::bnb, &BnbOptions::symmetrySecondsPerUnit)},
      {"bnb.orbitBranching", field(&S::bnb, &BnbOptions::orbitBranching)},
      {"bnb.orbitWay", field(&S::bnb, &BnbOptions::orbitWay)},
      {"bnb.lp.mode", bnbLp(&NodeLpOptions::mode)},
      {"bnb.lp.depth", bnbLp(&NodeLpOptions::depth)},
      {"bnb.lp.minGain", bnbLp(&NodeLpOptions::minGain)},
      {"bnb.lp.probeEvery", bnbLp(&NodeLpOptions::probeEvery)},
      {"bnb.lp.iterationsPerRow", bnbLp(&NodeLpOptions::iterationsPerRow)},
      {"bnb.lp.sliceIterations", bnbLp(&NodeLpOptions::sliceIterations)},
      {"bnb.lp.workPerIterationLine", bnbLp(&NodeLpOptions::workPerIterationLine)},
      {"bnb.lp.maxRows", bnbLp(&NodeLpOptions::maxRows)},
      {"bnb.lp.maxEntries", bnbLp(&NodeLpOptions::maxEntries)},
      {"firstRound", field(&S::firstRound)},
      {"roundGrowth", field(&S::roundGrowth)},
      {"maxRound", field(&S::maxRound)},
      {"startShare", field(&S::startShare)},
      {"minShare", field(&S::minShare)},
      {"firstWorkPerMove", field(&S::firstWorkPerMove)},
      {"firstWorkPerNodeColumn", field(&S::firstWorkPerNodeColumn)},
      {"searchSeed", field(&S::searchSeed)},
      {"hopelessShare", field(&S::hopelessShare)},
      {"hopelessFactor", field(&S::hopelessFactor)},
      {"hopelessRounds", field(&S::hopelessRounds)},
      {"hopelessUnicostOnly", flag(&S::hopelessUnicostOnly)},
      {"engineFirstNodes", field(&S::engineFirstNodes)},
      {"engineShare", field(&S::engineShare)},
      {"engineMaxSets", field(&S::engineMaxSets)},
      {"coreColumnsPerRow", field(&S::coreColumnsPerRow)},
      {"coreStartShare", field(&S::coreStartShare)},
      {"coreMinShare", field(&S::coreMinShare)},
      {"coreMaxShare", field(&S::coreMaxShare)},
      {"coreRootShare", field(&S::coreRootShare)},
      {"coreRootChunk", field(&S::coreRootChunk)},
      {"coreOptions.rowColumns", field(&S::coreOptions, &CoreOptions::rowColumns)},
      {"coreOptions.globalColumns", field(&S::coreOptions, &CoreOptions::globalColumns)},
      {"coreOptions.gammaLimit", field(&S::coreOptions, &CoreOptions::gammaLimit)},
      {"coreOptions.maxSteps", field(&S::coreOptions, &CoreOptions::maxSteps)},
      {"coreOptions.passSteps", field(&S::coreOptions, &CoreOptions::passSteps)},
      {"coreOptions.swingHigh", field(&S::coreOptions, &CoreOptions::swingHigh)},
      {"coreOptions.deflection", field(&S::coreOptions, &CoreOptions::deflection)},
      {"coreOptions.checkEvery", field(&S::coreOptions, &CoreOptions::checkEvery)},
      {"coreOptions.minGain", field(&S::coreOptions, &CoreOptions::minGain)},
      {"coreOptions.heuristicSteps", field(&S::coreOptions, &CoreOptions::heuristicSteps)},
      {"coreOptions.passHeuristicSteps", field(&S::coreOptions, &CoreOptions::passHeuristicSteps)},
      {"coreOptions.fixDivisor", field(&S::coreOptions, &CoreOptions::fixDivisor)},
      {"coreOptions.refineStart", field(&S::coreOptions, &CoreOptions::refineStart)},
      {"coreOptions.refineGrowth", field(&S::coreOptions, &CoreOptions::refineGrowth)},
      {"heartbeatSeconds", field(&S::heartbeatSeconds)},
  };
  return entries;
}

}  // namespace

bool setSetting(PortfolioSettings& settings, const std::string& name, double value) {
  for (const auto& [key, set] : table()) {
    if (key == name) {
      set(settings, value);
      return true;
    }
  }
  return false;
}

std::vector<std::string> settingNames() {
  std::vector<std::string> names;
  for (const auto& entry : table()) names.push_back(entry.first);
  return names;
}

}  // namespace nimbrel_tavik_util::setcover_detail
