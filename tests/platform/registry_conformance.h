// What the registry conformance cases need of a machine, so that the same cases run against the
// simulated machine today and against another implementation of the interface later.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/reg_key.h"
#include "platform/registry.h"

namespace bc::platform::testing {

// The token a process runs with.
enum class Token {
  kStandardUser,   // a user who is not an administrator
  kAdmin,          // an administrator's process that is not elevated
  kElevatedAdmin,  // an elevated administrator's process
};

struct TargetSpec {
  std::string windows = "7";  // "xp", "vista", "7"
  bool x64 = true;
  // Registry content present before the case starts (native view; HKCU is the administrator's).
  std::string reg;
  // Keys nobody may open for writing.
  std::vector<std::u16string> deniedKeys;
};

class RegistryTarget {
 public:
  virtual ~RegistryTarget() = default;
  // The registry of a process with that token and bitness (made once per token and bitness).
  virtual IRegistry& Registry(Token token, bool is64Bit) = 0;
};

using TargetFactory = std::function<std::unique_ptr<RegistryTarget>(const TargetSpec&)>;

// Small readers for the cases.
inline std::optional<std::u16string> ReadString(IRegistry& r, HKEY root, std::u16string_view path,
                                                std::u16string_view name, REGSAM view = 0) {
  RegKey k;
  if (k.Open(r, root, path, KEY_READ | view) != ERROR_SUCCESS) return std::nullopt;
  std::u16string s;
  if (k.ReadString(name, &s) != ERROR_SUCCESS) return std::nullopt;
  return s;
}

inline LSTATUS OpenStatus(IRegistry& r, HKEY root, std::u16string_view path, REGSAM sam) {
  HKEY k = kNullKey;
  const LSTATUS st = r.RegOpenKeyExW(root, path, 0, sam, &k);
  if (st == ERROR_SUCCESS) r.RegCloseKey(k);
  return st;
}

inline std::vector<std::u16string> SubkeysOf(IRegistry& r, HKEY root, std::u16string_view path,
                                             REGSAM view = 0) {
  RegKey k;
  if (k.Open(r, root, path, KEY_READ | view) != ERROR_SUCCESS) return {};
  return k.SubkeyNames();
}

}  // namespace bc::platform::testing
