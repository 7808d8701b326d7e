// Small typed helpers over IRegistry for the settings and language values: a key handle that
// closes itself, and DWORD / text / binary reads and writes with the type checks the stored
// settings rely on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace bc::storage {

class RegKey {
 public:
  explicit RegKey(platform::IRegistry& registry) : registry_(&registry) {}
  ~RegKey() { Close(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // RegOpenKeyExW / RegCreateKeyExW; the status of the call.
  platform::LSTATUS Open(platform::HKEY root, std::u16string_view subKey, platform::REGSAM sam);
  platform::LSTATUS Create(platform::HKEY root, std::u16string_view subKey, platform::REGSAM sam);
  void Close();

  bool IsOpen() const { return key_ != platform::kNullKey; }
  platform::HKEY Get() const { return key_; }

  // A DWORD value: only REG_DWORD data of exactly four bytes.
  std::optional<platform::DWORD> QueryDword(std::u16string_view name) const;
  // A text value: only REG_SZ or REG_EXPAND_SZ; stops at the first NUL, an odd trailing byte is
  // dropped.
  std::optional<std::u16string> QueryText(std::u16string_view name) const;
  // Raw data and its type.
  std::optional<std::vector<std::uint8_t>> QueryBytes(std::u16string_view name,
                                                      platform::DWORD* type) const;

  platform::LSTATUS SetDword(std::u16string_view name, platform::DWORD value);
  // REG_SZ with the terminating NUL counted in the size.
  platform::LSTATUS SetText(std::u16string_view name, std::u16string_view text);
  platform::LSTATUS SetBinary(std::u16string_view name, const std::uint8_t* data,
                              platform::DWORD size);
  platform::LSTATUS Flush();

 private:
  platform::IRegistry* registry_;
  platform::HKEY key_ = platform::kNullKey;
};

}  // namespace bc::storage
