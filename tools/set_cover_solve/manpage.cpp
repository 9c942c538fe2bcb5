// Build step: writes set_cover_solve's man page from its template, with the method table put in
// from the same source as --help and the option parser, so the three cannot drift apart.
// usage: set_cover_solve_manpage TEMPLATE OUTPUT
// The template's line `.\" METHODS` becomes one .TP paragraph per method, and `.\" FORMATS` the
// names --format takes.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "set_cover_solve/options.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: set_cover_solve_manpage TEMPLATE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "set_cover_solve_manpage: cannot open " << argv[1] << '\n';
    return 1;
  }
  std::ostringstream page;
  int markers = 0;
  int formatMarkers = 0;
  for (std::string line; std::getline(in, line);) {
    if (line == ".\\\" METHODS") {
      page << set_cover_solve::methodsRoff();
      ++markers;
    } else if (line == ".\\\" FORMATS") {
      const auto& formats = set_cover_solve::formatList();
      for (std::size_t i = 0; i < formats.size(); ++i) {
        page << "\\fB" << set_cover_solve::formatName(formats[i]) << "\\fR"
             << (i + 2 < formats.size()    ? ", "
                 : i + 2 == formats.size() ? " or "
                                           : ".\n");
      }
      ++formatMarkers;
    } else {
      page << line << '\n';
    }
  }
  if (markers != 1 || formatMarkers != 1) {
    std::cerr << "set_cover_solve_manpage: " << argv[1] << " holds " << markers << " method and "
              << formatMarkers << " format markers, expected 1 of each\n";
    return 1;
  }
  // Written whole or not at all: a half page would install without complaint.
  const std::string temp = std::string(argv[2]) + ".tmp";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  out << page.str();
  out.close();
  if (!out || std::rename(temp.c_str(), argv[2]) != 0) {
    std::cerr << "set_cover_solve_manpage: cannot write " << argv[2] << '\n';
    std::remove(temp.c_str());
    return 1;
  }
  return 0;
}
