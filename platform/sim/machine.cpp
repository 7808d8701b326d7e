#include "platform/sim/machine.h"

#include "base/text.h"

#include "platform/sim/files_state.h"
#include "platform/sim/folders_create.h"
#include "platform/sim/hive_writer.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_layout.h"
#include "platform/sim/registry_paths.h"
#include "platform/sim/registry_state.h"

namespace bc::platform::sim {

SimMachine::SimMachine(std::filesystem::path folder, MachineDescriptor d)
    : folder_(std::move(folder)), descriptor_(std::move(d)) {}

SimMachine::~SimMachine() = default;

std::unique_ptr<SimMachine> SimMachine::Open(const std::filesystem::path& dir, std::string* error) {
  auto d = LoadDescriptor(dir / kDescriptorFileName, error);
  if (!d) return nullptr;
  std::unique_ptr<SimMachine> m(new SimMachine(dir, std::move(*d)));
  m->files_ = std::make_unique<FilesState>(*m);
  m->registry_ = RegistryState::Mount(*m, error);
  if (!m->registry_) return nullptr;
  return m;
}

bool SimMachine::SaveDescriptor(std::string* error) const {
  return sim::SaveDescriptor(descriptor_, folder_ / kDescriptorFileName, error);
}

std::unique_ptr<SimProcess> SimMachine::StartProcess(const ProcessSpec& spec) {
  const UserAccount* user =
      spec.user.empty() ? descriptor_.CurrentUser() : descriptor_.FindUser(spec.user);
  if (!user || (spec.elevated && !user->admin)) return nullptr;
  // A user without hive files still gets a process; its HKEY_CURRENT_USER does not open.
  std::string ignored;
  registry_->LoadUserHives(*user, &ignored);
  ProcessIdentity id{*user,
                     spec.elevated,
                     spec.is64Bit,
                     spec.programPath,
                     spec.commandLine,
                     descriptor_.Is64Bit() && !spec.is64Bit};
  return std::make_unique<SimProcess>(*this, std::move(id));
}

namespace {

bool WriteStandardHive(const std::filesystem::path& dir, const MachineDescriptor& d,
                       const HiveLocation& where, std::string* error) {
  std::filesystem::path host;
  if (CreateFoldersFor(dir, d, where.windowsPath, &host) != 0) {
    if (error) *error = Utf16ToUtf8(where.windowsPath) + ": cannot create the folder of the hive";
    return false;
  }
  HiveWriteOptions o;
  o.minorVersion = d.version.IsXp() ? 3 : 5;
  o.timestamp = MachineFileTime(d);
  o.fileName = where.windowsPath;
  o.security = where.ownerSid.empty() ? MachineKeySecurity() : UserKeySecurity(where.ownerSid);
  const auto tree = StandardHiveContents(d, where);
  return ReplaceFileAtomically(host, WriteCompactHive(*tree, o), error);
}

}  // namespace

bool CreateMachine(const std::filesystem::path& dir, const MachineDescriptor& d,
                   std::string* error) {
  std::error_code ec;
  if (std::filesystem::exists(dir / kDescriptorFileName, ec)) {
    if (error) *error = dir.string() + ": already holds a machine";
    return false;
  }
  if (!d.CurrentUser()) {
    if (error) *error = "the current user is not one of the machine's users";
    return false;
  }
  try {
    std::filesystem::create_directories(dir);
    LayOutMachineFolders(dir, d);
  } catch (const std::filesystem::filesystem_error& e) {
    if (error) *error = dir.string() + ": cannot lay out the machine's folders (" + e.what() + ")";
    return false;
  }
  for (const HiveLocation& where : MachineHiveLocations(d)) {
    if (!WriteStandardHive(dir, d, where, error)) return false;
  }
  for (const UserAccount& user : d.users) {
    for (const HiveLocation& where : UserHiveLocations(d, user)) {
      if (!WriteStandardHive(dir, d, where, error)) return false;
    }
  }
  // The descriptor comes last: a folder without it is not a machine.
  return sim::SaveDescriptor(d, dir / kDescriptorFileName, error);
}

}  // namespace bc::platform::sim
