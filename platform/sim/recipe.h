// A machine recipe: a folder with the arguments of the machine's creation, registration files to
// import and lists of files to create, turned into a ready machine with the product installed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

// "--windows xp|vista|7 --arch x86|x64 --user NAME --no-admin" into options; false and a reason
// for a word it does not know.
bool ParseCreateArguments(const std::vector<std::string>& words, CreateOptions* options,
                          std::string* error);

// Builds the machine of recipeDir in machineDir (which must not hold a machine yet):
//   create.args        creation arguments, words separated by white space
//   *.reg              imported in file-name order, as "regedit /s" would
//   files-*.txt        one Windows path per line; a trailing "\" makes a folder; "#" comments
// then installs the product with the language files of langDir. False and a one-line reason
// naming the recipe file and line at fault.
bool BuildMachineFromRecipe(const std::filesystem::path& recipeDir,
                            const std::filesystem::path& machineDir,
                            const std::filesystem::path& langDir, std::string* error);

}  // namespace bc::platform::sim
