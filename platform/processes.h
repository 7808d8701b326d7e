// Processes the product starts, named mutexes and events, messages between instances.
#pragma once

#include "platform/win32_types.h"

namespace bc::platform {

class IProcesses {
 public:
  virtual ~IProcesses() = default;
};

}  // namespace bc::platform
