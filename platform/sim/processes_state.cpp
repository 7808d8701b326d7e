#include "platform/sim/processes_state.h"

#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/shell_folders.h"

namespace bc::platform::sim {
namespace {

// What an elevated administrator's token holds, and what every token holds.
const std::u16string_view kAdminPrivileges[] = {u"SeBackupPrivilege",
                                                u"SeRestorePrivilege",
                                                u"SeShutdownPrivilege",
                                                u"SeTcbPrivilege",
                                                u"SeSecurityPrivilege",
                                                u"SeIncreaseQuotaPrivilege",
                                                u"SeTakeOwnershipPrivilege",
                                                u"SeDebugPrivilege",
                                                u"SeLoadDriverPrivilege",
                                                u"SeSystemtimePrivilege",
                                                u"SeChangeNotifyPrivilege",
                                                u"SeUndockPrivilege",
                                                u"SeIncreaseWorkingSetPrivilege",
                                                u"SeTimeZonePrivilege"};
const std::u16string_view kUserPrivileges[] = {
    u"SeShutdownPrivilege", u"SeChangeNotifyPrivilege", u"SeUndockPrivilege",
    u"SeIncreaseWorkingSetPrivilege", u"SeTimeZonePrivilege"};

}  // namespace

ProcessState::ProcessState(SimProcess& process) : process_(process) {
  const ProcessIdentity& id = process.Identity();
  const MachineDescriptor& d = process.Machine().Descriptor();
  admin_ = id.user.admin && (d.version.IsXp() || id.elevated);
  if (admin_) {
    for (auto p : kAdminPrivileges) held_.emplace(p);
  } else {
    for (auto p : kUserPrivileges) held_.emplace(p);
  }
  enabled_.emplace(u"SeChangeNotifyPrivilege");
  for (auto& [name, value] : InitialEnvironment(process)) SetVariable(name, &value);
  // Started from Explorer: the program's own folder; otherwise the system folder.
  const auto sep = id.programPath.find_last_of(u'\\');
  currentDirectory_ =
      sep != std::u16string::npos && sep >= 2 ? id.programPath.substr(0, sep) : SystemDirectory(d);
  if (currentDirectory_.size() == 2) currentDirectory_ += u"\\";
}

ProcessState::~ProcessState() = default;

ProcessState::ThreadState& ProcessState::Thread() {
  return threads_[std::this_thread::get_id()];
}

DWORD ProcessState::LastError() {
  std::lock_guard lock(mutex_);
  return Thread().lastError;
}

void ProcessState::SetLastError(DWORD error) {
  std::lock_guard lock(mutex_);
  Thread().lastError = error;
}

bool ProcessState::RedirectsFiles() {
  if (!process_.Identity().wow64) return false;
  std::lock_guard lock(mutex_);
  return !Thread().redirectionDisabled;
}

bool ProcessState::SetRedirectionDisabled(bool disabled) {
  std::lock_guard lock(mutex_);
  const bool before = Thread().redirectionDisabled;
  Thread().redirectionDisabled = disabled;
  return before;
}

HANDLE ProcessState::Add(std::shared_ptr<HandleObject> object) {
  std::lock_guard lock(mutex_);
  const HANDLE h = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(h, std::move(object));
  return h;
}

std::shared_ptr<HandleObject> ProcessState::Find(HANDLE h) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(h);
  return it == handles_.end() ? nullptr : it->second;
}

std::optional<std::u16string> ProcessState::GetVariable(std::u16string_view name) {
  std::lock_guard lock(mutex_);
  auto it = environment_.find(ToUpper(name));
  if (it == environment_.end()) return std::nullopt;
  return it->second.second;
}

void ProcessState::SetVariable(std::u16string_view name, const std::u16string* value) {
  std::lock_guard lock(mutex_);
  const std::u16string key = ToUpper(name);
  if (!value) {
    environment_.erase(key);
    return;
  }
  auto it = environment_.find(key);
  if (it == environment_.end()) {
    environment_.emplace(key, std::make_pair(std::u16string(name), *value));
  } else {
    it->second.second = *value;
  }
}

std::u16string ProcessState::CurrentDirectory() {
  std::lock_guard lock(mutex_);
  return currentDirectory_;
}

void ProcessState::SetCurrentDirectory(std::u16string dir) {
  std::lock_guard lock(mutex_);
  currentDirectory_ = std::move(dir);
}

bool ProcessState::HoldsPrivilege(std::u16string_view name) const {
  return held_.count(std::u16string(name)) > 0;
}

bool ProcessState::PrivilegeEnabled(std::u16string_view name) {
  std::lock_guard lock(mutex_);
  return enabled_.count(std::u16string(name)) > 0;
}

bool ProcessState::EnablePrivilege(std::u16string_view name, bool enable) {
  if (!HoldsPrivilege(name)) return false;
  std::lock_guard lock(mutex_);
  if (enable) {
    enabled_.emplace(name);
  } else {
    enabled_.erase(std::u16string(name));
  }
  return true;
}

ProcessState& StateOf(SimProcess& process) {
  return process.State();
}

std::vector<std::pair<std::u16string, std::u16string>> InitialEnvironment(SimProcess& process) {
  const ProcessIdentity& id = process.Identity();
  const MachineDescriptor& d = process.Machine().Descriptor();
  std::vector<std::pair<std::u16string, std::u16string>> env = d.environment;
  const auto set = [&env](std::u16string_view name, std::u16string value) {
    for (auto& [k, v] : env) {
      if (EqualsNoCase(k, name)) {
        v = std::move(value);
        return;
      }
    }
    env.emplace_back(name, std::move(value));
  };
  const UserAccount& u = id.user;
  set(u"USERPROFILE", u.profile);
  set(u"APPDATA", *SpecialFolderPath(d, u, false, 0x1A));
  if (!d.version.IsXp()) set(u"LOCALAPPDATA", *SpecialFolderPath(d, u, false, 0x1C));
  const std::u16string temp = UserTempDirectory(d, u);
  set(u"TEMP", temp);
  set(u"TMP", temp);
  set(u"USERNAME", u.name);
  set(u"USERDOMAIN", d.computerName);
  set(u"COMPUTERNAME", d.computerName);
  set(u"LOGONSERVER", u"\\\\" + d.computerName);
  set(u"HOMEDRIVE", u.profile.substr(0, 2));
  set(u"HOMEPATH", u.profile.size() > 2 ? u.profile.substr(2) : u"\\");
  if (id.wow64) {
    const std::u16string drive = d.WindowsDirectory().substr(0, 2);
    set(u"ProgramFiles", drive + u"\\Program Files (x86)");
    set(u"CommonProgramFiles", drive + u"\\Program Files (x86)\\Common Files");
    set(u"PROCESSOR_ARCHITECTURE", u"x86");
    set(u"PROCESSOR_ARCHITEW6432", u"AMD64");
  }
  return env;
}

}  // namespace bc::platform::sim
