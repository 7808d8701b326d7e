// Placeholder until the hive-backed registry is built.
#include "platform/registry.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_state.h"

namespace bc::platform::sim {

std::unique_ptr<RegistryState> RegistryState::Mount(SimMachine&, std::string*) {
  return std::make_unique<RegistryState>();
}
RegistryState::~RegistryState() = default;

std::unique_ptr<IRegistry> MakeSimRegistry(SimProcess&) { return nullptr; }

}  // namespace bc::platform::sim
