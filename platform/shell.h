// Shell calls: special folders, shortcuts, the recycle bin, ShellExecuteW.
#pragma once

#include "platform/win32_types.h"

namespace bc::platform {

class IShell {
 public:
  virtual ~IShell() = default;
};

}  // namespace bc::platform
