#include "platform/sim/recipe.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/regfile.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/product_install.h"
#include "platform/sim/registry_state.h"

namespace bc::platform::sim {
namespace {

std::vector<std::filesystem::path> FilesMatching(const std::filesystem::path& dir,
                                                 std::string_view prefix,
                                                 std::string_view extension) {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name.starts_with(prefix) && e.path().extension() == extension) {
      found.push_back(e.path());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool ReadHostFile(const std::filesystem::path& file, std::string* bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool ImportRecipeRegFile(RegistryState& registry, const std::filesystem::path& file,
                         std::string* error) {
  std::string bytes;
  if (!ReadHostFile(file, &bytes)) {
    *error = file.string() + ": cannot read";
    return false;
  }
  const auto parsed =
      ParseRegFile(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  if (!parsed.ok) {
    *error =
        file.string() + ":" + std::to_string(parsed.errorLine) + ": " + Utf16ToUtf8(parsed.error);
    return false;
  }
  // Written in bulk: a recipe holds thousands of keys, which in-place edits would bloat.
  std::size_t failed = 0;
  std::string first;
  if (!registry.ImportBulk(parsed.ops, &failed, &first) || failed != 0) {
    *error = file.string() + ": " + first;
    return false;
  }
  return true;
}

bool CreateRecipeFiles(IFileSystem& files, const std::filesystem::path& list, std::string* error) {
  std::string text;
  if (!ReadHostFile(list, &text)) {
    *error = list.string() + ": cannot read";
    return false;
  }
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::u16string path = Trim(Utf8ToUtf16(line));
    if (path.empty() || path[0] == u'#') continue;
    const auto where = [&] { return list.string() + ":" + std::to_string(number) + ": "; };
    if (path.back() == u'\\') {
      const int rc = files.SHCreateDirectoryExW(path.substr(0, path.size() - 1));
      if (rc != 0 && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS) {
        *error = where() + "cannot create the folder";
        return false;
      }
      continue;
    }
    const auto slash = path.rfind(u'\\');
    if (slash == std::u16string::npos || path.size() < 4 || path[1] != u':') {
      *error = where() + "not a full Windows path";
      return false;
    }
    if (slash > 2) files.SHCreateDirectoryExW(path.substr(0, slash));
    const HANDLE h =
        files.CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) {
      *error = where() + "cannot create the file";
      return false;
    }
    files.CloseHandle(h);
  }
  return true;
}

}  // namespace

bool ParseCreateArguments(const std::vector<std::string>& words, CreateOptions* o,
                          std::string* error) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    const bool hasValue = i + 1 < words.size();
    if (w == "--no-admin") {
      o->admin = false;
    } else if (w == "--windows" && hasValue &&
               (words[i + 1] == "xp" || words[i + 1] == "vista" || words[i + 1] == "7")) {
      o->windows = words[++i];
    } else if (w == "--arch" && hasValue && (words[i + 1] == "x86" || words[i + 1] == "x64")) {
      o->arch = words[++i] == "x64" ? Arch::x64 : Arch::x86;
    } else if (w == "--user" && hasValue && !words[i + 1].empty()) {
      o->user = Utf8ToUtf16(words[++i]);
    } else {
      *error = "bad creation argument '" + w + "'";
      return false;
    }
  }
  return true;
}

bool BuildMachineFromRecipe(const std::filesystem::path& recipeDir,
                            const std::filesystem::path& machineDir,
                            const std::filesystem::path& langDir, std::string* error) {
  CreateOptions options;
  std::string args;
  if (ReadHostFile(recipeDir / "create.args", &args)) {
    std::istringstream in(args);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in),
                                         std::istream_iterator<std::string>()};
    if (!ParseCreateArguments(words, &options, error)) {
      *error = (recipeDir / "create.args").string() + ": " + *error;
      return false;
    }
  }
  if (!CreateMachine(machineDir, MakeDefaultDescriptor(options), error)) return false;
  {
    auto machine = SimMachine::Open(machineDir, error);
    if (!machine) return false;
    // Keys are taken in the native view, so Wow6432Node keys land where the file names them.
    for (const auto& reg : FilesMatching(recipeDir, "", ".reg")) {
      if (!ImportRecipeRegFile(machine->Registry(), reg, error)) return false;
    }
    auto installer = machine->StartProcess({u"", true, true, u"", u""});
    if (!installer) {
      *error = "the machine's current user cannot run an elevated process";
      return false;
    }
    for (const auto& list : FilesMatching(recipeDir, "files-", ".txt")) {
      if (!CreateRecipeFiles(installer->Files(), list, error)) return false;
    }
  }
  auto machine = SimMachine::Open(machineDir, error);
  return machine && InstallProduct(*machine, langDir, error);
}

}  // namespace bc::platform::sim
