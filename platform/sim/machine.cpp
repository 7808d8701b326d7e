#include "platform/sim/machine.h"

#include "platform/sim/files_state.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_state.h"

namespace bc::platform::sim {

SimMachine::SimMachine(std::filesystem::path folder, MachineDescriptor d)
    : folder_(std::move(folder)), descriptor_(std::move(d)) {}

SimMachine::~SimMachine() = default;

std::unique_ptr<SimMachine> SimMachine::Open(const std::filesystem::path& dir,
                                             std::string* error) {
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
  ProcessIdentity id{*user, spec.elevated, spec.is64Bit, spec.programPath, spec.commandLine,
                     descriptor_.Is64Bit() && !spec.is64Bit};
  return std::make_unique<SimProcess>(*this, std::move(id));
}

}  // namespace bc::platform::sim
