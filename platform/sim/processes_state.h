// What one process of a simulated machine holds besides its identity: the handle table, the
// per-thread state (last error, WOW64 redirection), the environment block, the current folder and
// the token's privileges.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

class SimProcess;

// Anything a HANDLE can stand for.
class HandleObject {
 public:
  virtual ~HandleObject() = default;
};

class ProcessState {
 public:
  explicit ProcessState(SimProcess& process);
  ~ProcessState();

  // --- The calling thread --------------------------------------------------------------------
  DWORD LastError();
  void SetLastError(DWORD error);
  // Whether WOW64 redirection applies to the calling thread's file calls now.
  bool RedirectsFiles();
  // Turns the calling thread's redirection off (true) or back; answers the previous state.
  bool SetRedirectionDisabled(bool disabled);

  // --- Handles ---------------------------------------------------------------------------------
  HANDLE Add(std::shared_ptr<HandleObject> object);
  // The object of a handle of the given kind; null when the handle is not one.
  template <class T>
  std::shared_ptr<T> Get(HANDLE h) {
    return std::dynamic_pointer_cast<T>(Find(h));
  }
  // Removes a handle of the given kind; false when it is not one.
  template <class T>
  bool Close(HANDLE h) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(h);
    if (it == handles_.end() || !std::dynamic_pointer_cast<T>(it->second)) return false;
    handles_.erase(it);
    return true;
  }

  // --- Environment and current folder --------------------------------------------------------
  std::optional<std::u16string> GetVariable(std::u16string_view name);
  void SetVariable(std::u16string_view name, const std::u16string* value);
  std::u16string CurrentDirectory();
  void SetCurrentDirectory(std::u16string dir);

  // --- Token ---------------------------------------------------------------------------------
  // An administrator on XP, an elevated administrator on Windows 6.x.
  bool IsAdministrator() const { return admin_; }
  bool HoldsPrivilege(std::u16string_view name) const;
  bool PrivilegeEnabled(std::u16string_view name);
  // false when the token does not hold it.
  bool EnablePrivilege(std::u16string_view name, bool enable);

 private:
  struct ThreadState {
    DWORD lastError = 0;
    bool redirectionDisabled = false;
  };
  ThreadState& Thread();  // under mutex_
  std::shared_ptr<HandleObject> Find(HANDLE h);

  SimProcess& process_;
  bool admin_ = false;
  std::mutex mutex_;
  std::unordered_map<std::thread::id, ThreadState> threads_;
  std::unordered_map<HANDLE, std::shared_ptr<HandleObject>> handles_;
  HANDLE nextHandle_ = 0x104;
  // Variables keep the letter case of their first definition; names compare without case.
  std::map<std::u16string, std::pair<std::u16string, std::u16string>> environment_;
  std::u16string currentDirectory_;
  std::set<std::u16string, NoCaseLess> held_;
  std::set<std::u16string, NoCaseLess> enabled_;
};

// The process's state (created with the process).
ProcessState& StateOf(SimProcess& process);

// The environment a process of that identity starts with: the machine's variables, the user's
// (USERPROFILE, APPDATA, LOCALAPPDATA on 6.x, TEMP, TMP, USERNAME, USERDOMAIN, HOMEDRIVE,
// HOMEPATH) and, for a 32-bit process on a 64-bit machine, the WOW64 ones.
std::vector<std::pair<std::u16string, std::u16string>> InitialEnvironment(SimProcess& process);

}  // namespace bc::platform::sim
