#include "platform/sim/product_install.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"

namespace bc::platform::sim {
namespace {

constexpr std::u16string_view kProductFolder = u"\\Tessaly Works\\Brellum Corvane";

std::u16string ProductFolder(const MachineDescriptor& d) {
  const std::u16string programs = d.Is64Bit() ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
  return programs + std::u16string(kProductFolder);
}

bool WriteWholeFile(IFileSystem& files, const std::u16string& path,
                    const std::vector<char>& bytes) {
  const HANDLE h = files.CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = files.WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written) &&
                  written == bytes.size();
  files.CloseHandle(h);
  return ok;
}

}  // namespace

std::u16string ProductProgramPath(const MachineDescriptor& d) {
  return ProductFolder(d) + u"\\BrellumKV.exe";
}

bool InstallProduct(SimMachine& machine, const std::filesystem::path& langDir, std::string* error) {
  auto installer = machine.StartProcess({u"", true, false, u"", u""});
  if (!installer) {
    if (error) *error = "the current user cannot run an elevated installer";
    return false;
  }
  IFileSystem& files = installer->Files();
  const std::u16string folder = ProductFolder(machine.Descriptor());
  const std::u16string lang = folder + u"\\LANG";
  files.SHCreateDirectoryExW(lang);
  // The program file itself is a placeholder: the machine runs the host's build of it.
  if (!WriteWholeFile(files, ProductProgramPath(machine.Descriptor()), {})) {
    if (error) *error = "cannot write the program file on the machine";
    return false;
  }
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(langDir, ec)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".ini") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::u16string target = lang + u"\\" + Utf8ToUtf16(entry.path().filename().string());
    if (!in.good() && !in.eof()) {
      if (error) *error = entry.path().string() + ": cannot read the language file";
      return false;
    }
    if (!WriteWholeFile(files, target, bytes)) {
      if (error) *error = "cannot write " + Utf16ToUtf8(target) + " on the machine";
      return false;
    }
  }
  if (ec) {
    if (error) *error = langDir.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace bc::platform::sim
