// Writes shell shortcut (.lnk) files in the Shell Link format, for fixtures and demo machines:
// a header, a LinkInfo that names the target (local path or network share), and the optional
// strings. No item-ID list: readers take the target from the LinkInfo.
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

struct ShellLinkSpec {
  // "C:\...\x.exe" becomes the local base path, "\\server\share\rest" the network share and
  // suffix; any other text ("hcp://...", "{CLSID}") is stored as the local base path as given.
  // Empty: a link without a file-system target.
  std::u16string target;
  std::u16string arguments;
  std::u16string workingDirectory;
  std::u16string description;
  std::u16string relativePath;
  std::u16string iconLocation;
  DriveType driveType = DriveType::Fixed;  // of the target's volume
  bool targetIsDirectory = false;
};

// The bytes of the shortcut.
std::string BuildShellLink(const ShellLinkSpec& spec);
// Writes it to a host file; false with a one-line reason.
bool WriteShellLink(const std::filesystem::path& hostFile, const ShellLinkSpec& spec,
                    std::string* error);

}  // namespace bc::platform::sim
