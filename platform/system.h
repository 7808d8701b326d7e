// System facts: version, user, clock, privileges, WOW64.
#pragma once

#include "platform/win32_types.h"

namespace bc::platform {

class ISystem {
 public:
  virtual ~ISystem() = default;
};

}  // namespace bc::platform
