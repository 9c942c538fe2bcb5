// set_cover_stress: solves 50 seeded random set-cover instances with every method of
// SetCoverSolver<int>, checks each answer and prints a report. Takes no arguments.
//
// Exit status: 0 when every answer covered its instance and both exact methods agreed in size;
// 1 otherwise (after the whole report), or when the run stopped on an exception; 2 when given
// any argument (a one-line usage on standard error, nothing run: `--help` should not cost a
// whole run).
#include <exception>
#include <iostream>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "set_cover_stress/driver.hpp"

int main(int argc, char** /*argv*/) {
  using nimbrel_tavik_util::SetCoverSolver;
  if (argc > 1) {
    std::cerr << "usage: set_cover_stress (no arguments: solves 50 seeded instances with every "
                 "method and prints a report)\n";
    return 2;
  }
  try {
    const set_cover_stress::Totals totals = set_cover_stress::runStress(
        std::cout,
        [](const std::map<int, std::set<int>>& instance, nimbrel_tavik_util::SolveMethod method,
           bool continuity) { return SetCoverSolver<int>::solve(instance, method, continuity); });
    return set_cover_stress::exitStatus(totals);
  } catch (const std::exception& e) {
    // Returning (rather than terminating) keeps the rows printed so far in a piped report.
    std::cerr << "set_cover_stress: " << e.what() << '\n';
    return 1;
  }
}
