// brellum: the headless front end of the main program.
#include <cstdio>
#include <cstring>

#include "cli/brellum/scan_command.h"

namespace {

constexpr const char* kUsage =
    "usage: brellum <verb> [options]\n"
    "\n"
    "verbs:\n"
    "  scan --machine DIR [--categories MASK] [--json] [--elevated]\n"
    "      scan the registry of a simulated machine as its current user and save the results\n"
    "      (MASK: category bits, e.g. 0x5 for COM/ActiveX and file types; default all)\n"
    "  --help\n"
    "      show this text\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "scan") == 0) return bc::cli::RunScanCommand(argc - 2, argv + 2);
  std::fprintf(stderr, "brellum: unknown verb '%s' (try --help)\n", argv[1]);
  return 2;
}
