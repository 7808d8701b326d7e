// Machine-wide registry state: the mounted hives of a SimMachine, shared by all its processes.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/regfile.h"
#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

class SimMachine;
class RegistryStore;

class RegistryState {
 public:
  // Mounts the machine's hives (and the current user's); nullptr and a reason naming the file
  // when one is damaged. A hive file that is missing leaves its keys missing (machine folders
  // made for file tests have no hives).
  static std::unique_ptr<RegistryState> Mount(SimMachine& machine, std::string* error);
  ~RegistryState();

  // A flush point: every hive with unwritten changes is written now (merged over a newer file
  // another process wrote). False and a reason naming the file when one cannot be written.
  bool Flush(std::string* error = nullptr);
  // Changes also reach the files on their own this long after the last change (3 s by default).
  void SetLazyFlushDelay(std::chrono::milliseconds delay);
  // Mounts the user's NTUSER.DAT and UsrClass.dat under HKEY_USERS unless they are mounted.
  bool LoadUserHives(const UserAccount& user, std::string* error);

  struct MountedHive {
    std::u16string name;         // "\REGISTRY\MACHINE\SYSTEM"
    std::u16string windowsPath;  // "C:\Windows\System32\config\SYSTEM"
    std::filesystem::path file;  // on the host
    bool unwritten = false;      // has changes not yet in the file
    bool damaged = false;
  };
  std::vector<MountedHive> MountedHives() const;

  // Applies registration-file operations straight to the hive files, each touched hive being
  // rewritten compactly once: for large imports, which in-place edits would bloat. Keys are
  // taken in the native view. Operations on keys outside any hive (HKLM\HARDWARE) are not
  // applied; *failed counts them and *error names the first.
  bool ImportBulk(const std::vector<RegFileOp>& ops, std::size_t* failed, std::string* error);

  RegistryStore& Store() { return *store_; }

 private:
  explicit RegistryState(std::unique_ptr<RegistryStore> store);
  std::unique_ptr<RegistryStore> store_;
};

}  // namespace bc::platform::sim
