// brellum scan: the main program's scan of a simulated machine, from the command line.
#pragma once

namespace bc::cli {

// argv holds the words after "scan". Returns the process exit status: 0 done, 1 failure,
// 2 bad usage.
int RunScanCommand(int argc, char** argv);

}  // namespace bc::cli
