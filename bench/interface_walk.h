// The plain walk both registry benchmarks measure against: open, enumerate and read everything
// below a key through the registry interface, with no checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/registry.h"

namespace bc::bench {

struct WalkTotals {
  std::size_t keys = 0;
  std::size_t values = 0;  // values read
  std::size_t bytes = 0;   // their data
};

struct WalkOptions {
  platform::REGSAM view = 0;  // view bit for every open
  bool stringsOnly = false;   // read only REG_SZ and REG_EXPAND_SZ values
};

class InterfaceWalk {
 public:
  InterfaceWalk(platform::IRegistry& registry, WalkOptions options)
      : r_(registry), options_(options) {}

  void Run(platform::HKEY key, WalkTotals* t) {
    using namespace platform;
    ++t->keys;
    RegKeyInfo info;
    if (r_.RegQueryInfoKeyW(key, &info) != ERROR_SUCCESS) return;
    for (DWORD i = 0; i < info.values; ++i) {
      DWORD cch = static_cast<DWORD>(name_.size());
      DWORD type = 0;
      if (r_.RegEnumValueW(key, i, name_.data(), &cch, &type, nullptr, nullptr) != ERROR_SUCCESS) {
        continue;
      }
      if (options_.stringsOnly && type != REG_SZ && type != REG_EXPAND_SZ) continue;
      DWORD cb = static_cast<DWORD>(data_.size());
      if (r_.RegQueryValueExW(key, {name_.data(), cch}, &type, data_.data(), &cb) ==
          ERROR_SUCCESS) {
        ++t->values;
        t->bytes += cb;
      }
    }
    for (DWORD i = 0; i < info.subKeys; ++i) {
      DWORD cch = static_cast<DWORD>(name_.size());
      if (r_.RegEnumKeyExW(key, i, name_.data(), &cch) != ERROR_SUCCESS) continue;
      HKEY sub = kNullKey;
      if (r_.RegOpenKeyExW(key, {name_.data(), cch}, 0, KEY_READ | options_.view, &sub) !=
          ERROR_SUCCESS) {
        continue;
      }
      Run(sub, t);
      r_.RegCloseKey(sub);
    }
  }

 private:
  platform::IRegistry& r_;
  WalkOptions options_;
  std::vector<char16_t> name_ = std::vector<char16_t>(16384);
  std::vector<std::uint8_t> data_ = std::vector<std::uint8_t>(1 << 16);
};

}  // namespace bc::bench
