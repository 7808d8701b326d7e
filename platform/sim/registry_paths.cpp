#include "platform/sim/registry_paths.h"

#include <vector>

#include "base/text.h"

namespace bc::platform::sim {
namespace {

// The entry of dir whose name equals name ignoring case; empty when there is none.
std::filesystem::path FindEntry(const std::filesystem::path& dir, std::u16string_view name) {
  std::error_code ec;
  const std::filesystem::path exact = dir / Utf16ToUtf8(name);
  if (std::filesystem::exists(exact, ec)) return exact;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    if (EqualsNoCase(Utf8ToUtf16(e.path().filename().string()), name)) return e.path();
  }
  return {};
}

}  // namespace

std::u16string DriveDeviceName(const MachineDescriptor& d, char16_t letter) {
  int fixed = 0, cdrom = 0, removable = 0;
  for (const Drive& dr : d.drives) {
    const bool match = ToUpper(dr.letter) == ToUpper(letter);
    switch (dr.type) {
      case DriveType::Fixed:
        ++fixed;
        if (match) return u"\\Device\\HarddiskVolume" + Ascii(std::to_string(fixed));
        break;
      case DriveType::CdRom:
        if (match) return u"\\Device\\CdRom" + Ascii(std::to_string(cdrom));
        ++cdrom;
        break;
      case DriveType::Removable:
        if (match) return u"\\Device\\Floppy" + Ascii(std::to_string(removable));
        ++removable;
        break;
      case DriveType::Network:
        if (match) {
          return u"\\Device\\LanmanRedirector\\;" + std::u16string(1, ToUpper(dr.letter)) + u":0";
        }
        break;
    }
  }
  return {};
}

std::u16string NativeDevicePath(const MachineDescriptor& d, std::u16string_view windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != u':') return std::u16string(windowsPath);
  const std::u16string device = DriveDeviceName(d, windowsPath[0]);
  if (device.empty()) return std::u16string(windowsPath);
  return device + std::u16string(windowsPath.substr(2));
}

namespace {

LSTATUS Resolve(const std::filesystem::path& machineFolder, const MachineDescriptor& d,
                std::u16string_view windowsPath, bool createFolders, std::filesystem::path* out) {
  std::u16string path(windowsPath);
  if (StartsWithNoCase(path, u"\\??\\") || StartsWithNoCase(path, u"\\\\?\\")) {
    path = path.substr(4);
  } else if (StartsWithNoCase(path, u"\\SystemRoot\\")) {
    path = d.WindowsDirectory() + path.substr(11);
  } else if (StartsWithNoCase(path, u"\\Device\\")) {
    const auto parts = SplitAll(path, u'\\');  // "", "Device", "HarddiskVolume1", ...
    if (parts.size() < 3) return ERROR_PATH_NOT_FOUND;
    const std::u16string device = u"\\Device\\" + std::u16string(parts[2]);
    std::u16string rest;
    for (std::size_t i = 3; i < parts.size(); ++i) rest += u"\\" + std::u16string(parts[i]);
    bool found = false;
    for (const Drive& dr : d.drives) {
      if (EqualsNoCase(DriveDeviceName(d, dr.letter), device)) {
        path = std::u16string(1, dr.letter) + u":" + rest;
        found = true;
        break;
      }
    }
    if (!found) return ERROR_PATH_NOT_FOUND;
  }
  if (path.size() < 3 || path[1] != u':' || (path[2] != u'\\' && path[2] != u'/')) {
    return ERROR_PATH_NOT_FOUND;
  }
  const Drive* drive = d.FindDrive(path[0]);
  if (!drive) return ERROR_PATH_NOT_FOUND;
  std::vector<std::u16string> names;
  for (auto part : SplitAll(std::u16string_view(path).substr(3), u'\\')) {
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.emplace_back(part);
  }
  std::filesystem::path host = machineFolder / drive->folder;
  std::error_code ec;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::filesystem::path next = FindEntry(host, names[i]);
    const bool last = i + 1 == names.size();
    if (next.empty()) {
      next = host / Utf16ToUtf8(names[i]);
      if (!last) {
        if (!createFolders || !std::filesystem::create_directory(next, ec)) {
          return ERROR_PATH_NOT_FOUND;
        }
      }
    } else if (!last && !std::filesystem::is_directory(next, ec)) {
      return ERROR_PATH_NOT_FOUND;
    }
    host = std::move(next);
  }
  *out = host;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS HostPathOf(const std::filesystem::path& machineFolder, const MachineDescriptor& d,
                   std::u16string_view windowsPath, std::filesystem::path* out) {
  return Resolve(machineFolder, d, windowsPath, false, out);
}

LSTATUS CreateFoldersFor(const std::filesystem::path& machineFolder, const MachineDescriptor& d,
                         std::u16string_view windowsPath, std::filesystem::path* out) {
  return Resolve(machineFolder, d, windowsPath, true, out);
}

}  // namespace bc::platform::sim
