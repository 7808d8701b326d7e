// Files, paths, drives and the environment (kernel32/shlwapi/shell32 file calls).
#pragma once

#include "platform/win32_types.h"

namespace bc::platform {

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
};

}  // namespace bc::platform
