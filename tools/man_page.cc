// Writes the man page: its template with the switches and keys of the
// client's own table in place of the line ".\" OPTIONS AND KEYS", and every
// character beyond ASCII escaped for troff.
// Usage: man_page TEMPLATE OUT
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/usage.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: man_page TEMPLATE OUT\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  std::ostringstream page;
  bool placed = false;
  for (std::string line; std::getline(in, line);) {
    if (line == ".\\\" OPTIONS AND KEYS") {
      page << app::ManSections();
      placed = true;
    } else {
      page << line << "\n";
    }
  }
  if (!placed) {
    std::fprintf(stderr, "man_page: no \".\\\" OPTIONS AND KEYS\" line in %s\n", argv[1]);
    return 1;
  }
  std::ofstream out(argv[2]);
  out << app::TroffEscaped(page.str());
  return out ? 0 : 1;
}
