// A registry key handle that closes itself, with the few value helpers most callers need. Every
// call answers the Windows status of the IRegistry call it makes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace bc::platform {

class RegKey {
 public:
  RegKey() = default;
  // Adopts an open handle.
  RegKey(IRegistry& registry, HKEY key) : registry_(&registry), key_(key) {}
  ~RegKey() { Close(); }
  RegKey(RegKey&& o) noexcept : registry_(o.registry_), key_(std::exchange(o.key_, kNullKey)) {}
  RegKey& operator=(RegKey&& o) noexcept {
    if (this != &o) {
      Close();
      registry_ = o.registry_;
      key_ = std::exchange(o.key_, kNullKey);
    }
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  LSTATUS Open(IRegistry& registry, HKEY parent, std::u16string_view subKey, REGSAM sam) {
    Close();
    registry_ = &registry;
    return registry.RegOpenKeyExW(parent, subKey, 0, sam, &key_);
  }
  LSTATUS Create(IRegistry& registry, HKEY parent, std::u16string_view subKey, REGSAM sam,
                 DWORD options = REG_OPTION_NON_VOLATILE, DWORD* disposition = nullptr) {
    Close();
    registry_ = &registry;
    return registry.RegCreateKeyExW(parent, subKey, options, sam, &key_, disposition);
  }
  void Close() {
    if (key_ != kNullKey && registry_) registry_->RegCloseKey(key_);
    key_ = kNullKey;
  }
  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != kNullKey; }
  // Gives the handle up without closing it.
  HKEY Release() { return std::exchange(key_, kNullKey); }

  // The raw value (size query first, then the data; retried if it grew in between).
  LSTATUS ReadValue(std::u16string_view name, DWORD* type, std::vector<std::uint8_t>* data) const {
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD size = 0;
      LSTATUS st = registry_->RegQueryValueExW(key_, name, type, nullptr, &size);
      if (st != ERROR_SUCCESS) return st;
      data->resize(size);
      st = registry_->RegQueryValueExW(key_, name, type, size ? data->data() : nullptr, &size);
      if (st == ERROR_MORE_DATA) continue;
      if (st == ERROR_SUCCESS) data->resize(size);
      return st;
    }
    return ERROR_MORE_DATA;
  }
  // REG_SZ or REG_EXPAND_SZ text, cut at its first NUL; another type answers ERROR_INVALID_DATA.
  LSTATUS ReadString(std::u16string_view name, std::u16string* out) const {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (LSTATUS st = ReadValue(name, &type, &data); st != ERROR_SUCCESS) return st;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return kErrorInvalidData;
    out->clear();
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
      const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
      if (c == u'\0') break;
      out->push_back(c);
    }
    return ERROR_SUCCESS;
  }
  LSTATUS ReadDword(std::u16string_view name, DWORD* out) const {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (LSTATUS st = ReadValue(name, &type, &data); st != ERROR_SUCCESS) return st;
    if (type != REG_DWORD || data.size() != 4) return kErrorInvalidData;
    *out = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
    return ERROR_SUCCESS;
  }

  // Text is written with its terminating NUL.
  LSTATUS WriteString(std::u16string_view name, std::u16string_view text, DWORD type = REG_SZ) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
      bytes.push_back(static_cast<std::uint8_t>(c));
      bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return WriteBinary(name, bytes, type);
  }
  LSTATUS WriteDword(std::u16string_view name, DWORD v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    return WriteBinary(name, b, REG_DWORD);
  }
  LSTATUS WriteBinary(std::u16string_view name, std::span<const std::uint8_t> data,
                      DWORD type = REG_BINARY) {
    return registry_->RegSetValueExW(key_, name, type, data.data(),
                                     static_cast<DWORD>(data.size()));
  }
  LSTATUS DeleteValue(std::u16string_view name) { return registry_->RegDeleteValueW(key_, name); }

  // Names by index until the first failure past the end; failing indices are skipped.
  std::vector<std::u16string> SubkeyNames() const {
    std::vector<std::u16string> names;
    RegKeyInfo info;
    if (registry_->RegQueryInfoKeyW(key_, &info) != ERROR_SUCCESS) return names;
    std::vector<char16_t> buf(info.maxSubKeyLen + 2);
    for (DWORD i = 0; i < info.subKeys; ++i) {
      DWORD cch = static_cast<DWORD>(buf.size());
      if (registry_->RegEnumKeyExW(key_, i, buf.data(), &cch) == ERROR_SUCCESS) {
        names.emplace_back(buf.data(), cch);
      }
    }
    return names;
  }
  std::vector<std::u16string> ValueNames() const {
    std::vector<std::u16string> names;
    RegKeyInfo info;
    if (registry_->RegQueryInfoKeyW(key_, &info) != ERROR_SUCCESS) return names;
    std::vector<char16_t> buf(info.maxValueNameLen + 2);
    for (DWORD i = 0; i < info.values; ++i) {
      DWORD cch = static_cast<DWORD>(buf.size());
      if (registry_->RegEnumValueW(key_, i, buf.data(), &cch, nullptr, nullptr, nullptr) ==
          ERROR_SUCCESS) {
        names.emplace_back(buf.data(), cch);
      }
    }
    return names;
  }

 private:
  static constexpr LSTATUS kErrorInvalidData = 13;  // ERROR_INVALID_DATA
  IRegistry* registry_ = nullptr;
  HKEY key_ = kNullKey;
};

}  // namespace bc::platform
