// Everything the product asks of Windows, reached through one object per process.
#pragma once

namespace bc::platform {

class IRegistry;
class IFileSystem;
class IShell;
class ISystem;
class IProcesses;

class IPlatform {
 public:
  virtual ~IPlatform() = default;
  virtual IRegistry& Registry() = 0;
  virtual IFileSystem& Files() = 0;
  virtual IShell& Shell() = 0;
  virtual ISystem& System() = 0;
  virtual IProcesses& Processes() = 0;
};

}  // namespace bc::platform
