// brellum-machine: creates, inspects and changes simulated Windows machines.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "base/regfile.h"
#include "base/text.h"
#include "platform/reg_key.h"
#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/product_install.h"
#include "platform/sim/recipe.h"
#include "platform/sim/registry_regfile.h"
#include "platform/sim/registry_state.h"

namespace {

using namespace bc;
using namespace bc::platform;
using namespace bc::platform::sim;

constexpr const char* kUsage =
    "usage: brellum-machine <verb> ...\n"
    "\n"
    "  create DIR [--windows xp|vista|7] [--arch x86|x64] [--user NAME] [--no-admin]\n"
    "  recipe RECIPE_DIR DIR [--lang LANG_DIR]   build a machine from a recipe folder\n"
    "      (create and recipe install the product with the language files of the source tree\n"
    "       unless --lang names another folder)\n"
    "  install DIR --lang LANG_DIR               install the product's program folder\n"
    "  reg import DIR FILE                       as \"regedit /s FILE\"\n"
    "  reg export DIR FILE [KEY]                 as \"regedit /e FILE [KEY]\"\n"
    "  reg query DIR KEY                         list a key's subkeys and values\n"
    "  info DIR                                  the descriptor and the mounted hives\n";

int Usage(const char* why) {
  std::fprintf(stderr, "brellum-machine: %s\n", why);
  return 2;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "brellum-machine: %s\n", why.c_str());
  return 1;
}

std::unique_ptr<SimMachine> OpenOrReport(const char* dir, int* status) {
  std::string error;
  auto m = SimMachine::Open(dir, &error);
  if (!m) *status = Fail(error);
  return m;
}

// The registry editor runs as an elevated administrator, 64-bit, so it sees every key natively.
std::unique_ptr<SimProcess> Regedit(SimMachine& m, int* status) {
  auto p = m.StartProcess({u"", true, true, u"C:\\Windows\\regedit.exe", u""});
  if (!p) *status = Fail("the machine's current user cannot run the registry editor elevated");
  return p;
}

int Create(int argc, char** argv) {
  if (argc < 1) return Usage("create needs a folder");
  CreateOptions options;
  std::string error;
  if (!ParseCreateArguments({argv + 1, argv + argc}, &options, &error)) return Usage(error.c_str());
  if (!CreateMachine(argv[0], MakeDefaultDescriptor(options), &error)) return Fail(error);
  // A machine comes with the product installed, as its installer would leave it.
  auto machine = SimMachine::Open(argv[0], &error);
  if (!machine || !InstallProduct(*machine, BC_DEFAULT_LANG_DIR, &error)) return Fail(error);
  return 0;
}

int Recipe(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--lang") == 0)) {
    return Usage("recipe needs RECIPE_DIR DIR [--lang LANG_DIR]");
  }
  std::string error;
  const std::filesystem::path lang = argc == 4 ? argv[3] : BC_DEFAULT_LANG_DIR;
  if (!BuildMachineFromRecipe(argv[0], argv[1], lang, &error)) return Fail(error);
  return 0;
}

int Install(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--lang") != 0)
    return Usage("install needs DIR --lang LANG_DIR");
  int status = 0;
  auto m = OpenOrReport(argv[0], &status);
  if (!m) return status;
  std::string error;
  return InstallProduct(*m, argv[2], &error) ? 0 : Fail(error);
}

std::string ReadHostFile(const char* path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  *ok = static_cast<bool>(in);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int RegImport(const char* dir, const char* file) {
  bool ok = false;
  const std::string bytes = ReadHostFile(file, &ok);
  if (!ok) return Fail(std::string(file) + ": cannot read");
  const auto parsed =
      ParseRegFile(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  if (!parsed.ok) {
    return Fail(std::string(file) + ":" + std::to_string(parsed.errorLine) + ": " +
                Utf16ToUtf8(parsed.error));
  }
  int status = 0;
  auto m = OpenOrReport(dir, &status);
  if (!m) return status;
  auto p = Regedit(*m, &status);
  if (!p) return status;
  std::string first;
  if (ImportRegOps(p->Registry(), parsed.ops, &first) != 0) return Fail(first);
  std::string error;
  return m->Registry().Flush(&error) ? 0 : Fail(error);
}

int RegExport(const char* dir, const char* file, const char* key) {
  int status = 0;
  auto m = OpenOrReport(dir, &status);
  if (!m) return status;
  auto p = Regedit(*m, &status);
  if (!p) return status;
  RegFileWriter writer;
  if (key) {
    if (!ExportRegKey(p->Registry(), Utf8ToUtf16(key), KEY_WOW64_64KEY, writer)) {
      return Fail(std::string(key) + ": no such key");
    }
  } else {
    ExportRegistry(p->Registry(), KEY_WOW64_64KEY, writer);
  }
  const auto bytes = writer.FileBytes();
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.flush() ? 0 : Fail(std::string(file) + ": cannot write");
}

int RegQuery(const char* dir, const char* key) {
  int status = 0;
  auto m = OpenOrReport(dir, &status);
  if (!m) return status;
  auto p = Regedit(*m, &status);
  if (!p) return status;
  const std::u16string full = Utf8ToUtf16(key);
  const auto split = SplitFirst(full, u'\\');
  const HKEY root = RootFromName(split.head);
  if (root == kNullKey) return Fail(std::string(key) + ": unknown root");
  IRegistry& reg = p->Registry();
  RegKey k;
  if (k.Open(reg, root, split.tail, KEY_READ | KEY_WOW64_64KEY) != ERROR_SUCCESS) {
    return Fail(std::string(key) + ": no such key");
  }
  std::printf("%s\n", key);
  std::vector<char16_t> name(16384);
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(name.size());
    const LSTATUS st = reg.RegEnumKeyExW(k.Get(), i, name.data(), &cch);
    if (st == ERROR_NO_MORE_ITEMS) break;
    if (st != ERROR_SUCCESS) continue;
    std::printf("    [%s]\n", Utf16ToUtf8({name.data(), cch}).c_str());
  }
  RegFileWriter writer;
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(name.size());
    DWORD type = 0, size = 0;
    LSTATUS st = reg.RegEnumValueW(k.Get(), i, name.data(), &cch, &type, nullptr, &size);
    if (st == ERROR_NO_MORE_ITEMS) break;
    if (st != ERROR_SUCCESS) continue;
    std::vector<std::uint8_t> data;
    if (k.ReadValue({name.data(), cch}, &type, &data) != ERROR_SUCCESS) continue;
    std::u16string line = RegFileValueLine({name.data(), cch}, type, data);
    while (!line.empty() && (line.back() == u'\n' || line.back() == u'\r')) line.pop_back();
    std::printf("    %s\n", Utf16ToUtf8(line).c_str());
  }
  return 0;
}

int Info(const char* dir) {
  int status = 0;
  auto m = OpenOrReport(dir, &status);
  if (!m) return status;
  const auto& d = m->Descriptor();
  std::printf("Windows %u.%u build %u %s, %s\n", d.version.major, d.version.minor, d.version.build,
              Utf16ToUtf8(d.version.servicePack).c_str(), d.Is64Bit() ? "x64" : "x86");
  std::printf("computer %s\n", Utf16ToUtf8(d.computerName).c_str());
  for (const auto& u : d.users) {
    std::printf("user %s %s%s%s\n", Utf16ToUtf8(u.name).c_str(), Utf16ToUtf8(u.sid).c_str(),
                u.admin ? " administrator" : "", u.name == d.currentUser ? " (current)" : "");
  }
  for (const auto& h : m->Registry().MountedHives()) {
    std::printf("hive %s = %s%s\n", Utf16ToUtf8(h.name).c_str(), Utf16ToUtf8(h.windowsPath).c_str(),
                h.damaged ? " (damaged)" : "");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string_view verb = argv[1];
  if (verb == "--help" || verb == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (verb == "create") return Create(argc - 2, argv + 2);
  if (verb == "recipe") return Recipe(argc - 2, argv + 2);
  if (verb == "install") return Install(argc - 2, argv + 2);
  if (verb == "info" && argc == 3) return Info(argv[2]);
  if (verb == "reg" && argc >= 3) {
    const std::string_view sub = argv[2];
    if (sub == "import" && argc == 5) return RegImport(argv[3], argv[4]);
    if (sub == "export" && (argc == 5 || argc == 6)) {
      return RegExport(argv[3], argv[4], argc == 6 ? argv[5] : nullptr);
    }
    if (sub == "query" && argc == 5) return RegQuery(argv[3], argv[4]);
  }
  std::fputs(kUsage, stderr);
  return 2;
}
