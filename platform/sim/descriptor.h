// machine.json: what a simulated machine is (Windows version, architecture, users, drives,
// environment and the test switches that make failure paths reachable).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bc::platform::sim {

struct WindowsVersion {
  std::uint32_t major = 6;
  std::uint32_t minor = 1;
  std::uint32_t build = 7601;
  std::uint16_t servicePackMajor = 1;
  std::u16string servicePack = u"Service Pack 1";  // szCSDVersion
  bool IsXp() const { return major == 5; }
};

enum class Arch { x86, x64 };

struct UserAccount {
  std::u16string name;
  std::u16string sid;
  bool admin = true;
  std::u16string profile;  // Windows path, e.g. "C:\Users\Alice"
};

// GetDriveTypeW's answers.
enum class DriveType : std::uint32_t { Removable = 2, Fixed = 3, Network = 4, CdRom = 5 };

struct Drive {
  char16_t letter = u'C';
  DriveType type = DriveType::Fixed;
  std::string folder;    // host folder, relative to the machine folder
  bool present = true;   // media in the drive (removable and CD-ROM)
};

struct MachineDescriptor {
  WindowsVersion version;
  Arch arch = Arch::x64;
  std::u16string computerName = u"DEMO-PC";
  std::vector<UserAccount> users;
  std::u16string currentUser;  // user name
  std::vector<Drive> drives;
  // Machine-wide environment variables; the per-user ones derive from the user's profile.
  std::vector<std::pair<std::u16string, std::u16string>> environment;
  // Registry keys no one may open for writing, as full paths ("HKEY_LOCAL_MACHINE\...").
  std::vector<std::u16string> deniedKeys;
  // Windows Resource Protection; empty means the built-in defaults for the version.
  std::optional<std::vector<std::u16string>> protectedKeys;
  std::optional<std::vector<std::u16string>> protectedFiles;
  bool refuseElevation = false;  // the elevation prompt is answered "no"
  // The machine clock: seconds since 1970 UTC when fixed by a test, else the host clock.
  std::optional<std::int64_t> clock;
  std::int32_t utcOffsetMinutes = 0;

  bool Is64Bit() const { return arch == Arch::x64; }
  const UserAccount* FindUser(std::u16string_view name) const;
  const UserAccount* CurrentUser() const { return FindUser(currentUser); }
  const Drive* FindDrive(char16_t letter) const;
  // The Windows directory, "C:\Windows" (or "C:\WINDOWS" on XP).
  std::u16string WindowsDirectory() const;
};

struct CreateOptions {
  std::string windows = "7";  // "xp", "vista" or "7"
  Arch arch = Arch::x64;
  std::u16string user = u"Alice";
  bool admin = true;
};

// The descriptor a freshly installed machine of that kind has.
MachineDescriptor MakeDefaultDescriptor(const CreateOptions& options);

// Reads machine.json; on failure returns nullopt and a one-line reason in *error.
std::optional<MachineDescriptor> LoadDescriptor(const std::filesystem::path& file,
                                                std::string* error);
bool SaveDescriptor(const MachineDescriptor& d, const std::filesystem::path& file,
                    std::string* error);

inline constexpr const char* kDescriptorFileName = "machine.json";

}  // namespace bc::platform::sim
