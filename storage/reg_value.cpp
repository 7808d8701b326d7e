#include "storage/reg_value.h"

#include <cstring>

namespace bc::storage {

using platform::DWORD;
using platform::LSTATUS;

namespace {
// Larger values are not settings; refusing them keeps a damaged value from costing memory.
constexpr DWORD kMaxValueBytes = 16u << 20;
}  // namespace

LSTATUS RegKey::Open(platform::HKEY root, std::u16string_view subKey, platform::REGSAM sam) {
  Close();
  platform::HKEY key = platform::kNullKey;
  const LSTATUS status = registry_->RegOpenKeyExW(root, subKey, 0, sam, &key);
  if (status == platform::ERROR_SUCCESS) key_ = key;
  return status;
}

LSTATUS RegKey::Create(platform::HKEY root, std::u16string_view subKey, platform::REGSAM sam) {
  Close();
  platform::HKEY key = platform::kNullKey;
  const LSTATUS status = registry_->RegCreateKeyExW(root, subKey, platform::REG_OPTION_NON_VOLATILE,
                                                    sam, &key, nullptr);
  if (status == platform::ERROR_SUCCESS) key_ = key;
  return status;
}

void RegKey::Close() {
  if (key_ != platform::kNullKey) registry_->RegCloseKey(key_);
  key_ = platform::kNullKey;
}

std::optional<std::vector<std::uint8_t>> RegKey::QueryBytes(std::u16string_view name,
                                                            DWORD* type) const {
  if (!IsOpen()) return std::nullopt;
  // The value may grow between the size query and the read; try a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    DWORD valueType = platform::REG_NONE;
    LSTATUS status = registry_->RegQueryValueExW(key_, name, &valueType, nullptr, &size);
    if (status != platform::ERROR_SUCCESS || size > kMaxValueBytes) return std::nullopt;
    std::vector<std::uint8_t> data(size);
    DWORD got = size;
    status = registry_->RegQueryValueExW(key_, name, &valueType, data.data(), &got);
    if (status == platform::ERROR_MORE_DATA) continue;
    if (status != platform::ERROR_SUCCESS) return std::nullopt;
    data.resize(got < size ? got : size);
    if (type) *type = valueType;
    return data;
  }
  return std::nullopt;
}

std::optional<DWORD> RegKey::QueryDword(std::u16string_view name) const {
  DWORD type = platform::REG_NONE;
  const auto data = QueryBytes(name, &type);
  if (!data || type != platform::REG_DWORD || data->size() != sizeof(DWORD)) return std::nullopt;
  DWORD value = 0;
  std::memcpy(&value, data->data(), sizeof value);
  return value;
}

std::optional<std::u16string> RegKey::QueryText(std::u16string_view name) const {
  DWORD type = platform::REG_NONE;
  const auto data = QueryBytes(name, &type);
  if (!data || (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ)) return std::nullopt;
  std::u16string text(data->size() / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data->data(), text.size() * 2);
  const auto nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return text;
}

LSTATUS RegKey::SetDword(std::u16string_view name, DWORD value) {
  if (!IsOpen()) return platform::ERROR_INVALID_HANDLE;
  std::uint8_t bytes[sizeof(DWORD)];
  std::memcpy(bytes, &value, sizeof value);
  return registry_->RegSetValueExW(key_, name, platform::REG_DWORD, bytes, sizeof bytes);
}

LSTATUS RegKey::SetText(std::u16string_view name, std::u16string_view text) {
  if (!IsOpen()) return platform::ERROR_INVALID_HANDLE;
  std::vector<std::uint8_t> bytes((text.size() + 1) * 2, 0);
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return registry_->RegSetValueExW(key_, name, platform::REG_SZ, bytes.data(),
                                   static_cast<DWORD>(bytes.size()));
}

LSTATUS RegKey::SetBinary(std::u16string_view name, const std::uint8_t* data, DWORD size) {
  if (!IsOpen()) return platform::ERROR_INVALID_HANDLE;
  return registry_->RegSetValueExW(key_, name, platform::REG_BINARY, data, size);
}

LSTATUS RegKey::Flush() {
  if (!IsOpen()) return platform::ERROR_INVALID_HANDLE;
  return registry_->RegFlushKey(key_);
}

}  // namespace bc::storage
