// A registry tree held in memory: what the compact writer lays out, what a saved key is read
// into, and what bulk edits (machine creation, large imports) are applied to.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

struct HiveValue {
  std::u16string name;  // empty: the default value
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> data;
};

class HiveKey {
 public:
  explicit HiveKey(std::u16string name = {}) : name_(std::move(name)) {}
  HiveKey(const HiveKey&) = delete;
  HiveKey& operator=(const HiveKey&) = delete;

  const std::u16string& Name() const { return name_; }
  void SetName(std::u16string name) { name_ = std::move(name); }
  FileTime LastWrite() const { return lastWrite_; }
  void SetLastWrite(FileTime t) { lastWrite_ = t; }

  // Sub-keys in insertion order; the writer sorts them the way the hive index is ordered.
  const std::vector<std::unique_ptr<HiveKey>>& Subkeys() const { return subkeys_; }
  HiveKey* FindSubkey(std::u16string_view name);
  const HiveKey* FindSubkey(std::u16string_view name) const;
  // The sub-key of that name, created when missing.
  HiveKey& Subkey(std::u16string_view name);
  // Follows a backslash-separated path, creating what is missing. Empty components are skipped.
  HiveKey& Path(std::u16string_view path);
  const HiveKey* FindPath(std::u16string_view path) const;
  bool RemoveSubkey(std::u16string_view name);
  // Adopts a whole subtree (replacing a sub-key of the same name).
  HiveKey& AdoptSubkey(std::unique_ptr<HiveKey> key);
  // Appends a sub-key / value known not to be there yet (reading a hive, whose names are unique).
  HiveKey& AppendSubkey(std::unique_ptr<HiveKey> key);
  void AppendValue(HiveValue value) { values_.push_back(std::move(value)); }

  // Values in insertion order, names unique ignoring case.
  const std::vector<HiveValue>& Values() const { return values_; }
  const HiveValue* FindValue(std::u16string_view name) const;
  void SetValue(std::u16string_view name, DWORD type, std::span<const std::uint8_t> data);
  bool RemoveValue(std::u16string_view name);
  void RemoveAllValues() { values_.clear(); }

  // Conveniences for building standard contents.
  void SetString(std::u16string_view name, std::u16string_view text, DWORD type = REG_SZ);
  void SetDword(std::u16string_view name, DWORD v);
  void SetMultiString(std::u16string_view name, const std::vector<std::u16string>& items);

  // Number of keys and values in this subtree, this key included.
  std::size_t CountKeys() const;
  std::size_t CountValues() const;

 private:
  void Reindex();

  std::u16string name_;
  FileTime lastWrite_ = 0;
  std::vector<std::unique_ptr<HiveKey>> subkeys_;
  std::vector<HiveValue> values_;
  // Built once a key has many sub-keys, so that bulk building stays linear.
  std::unique_ptr<std::unordered_map<std::u16string, HiveKey*, NoCaseHash, NoCaseEqual>> index_;
};

// Text as registry data: UTF-16LE with the terminating NUL.
std::vector<std::uint8_t> RegStringBytes(std::u16string_view text);
// A multi-string: each item with its NUL, then one more NUL.
std::vector<std::uint8_t> RegMultiStringBytes(const std::vector<std::u16string>& items);

}  // namespace bc::platform::sim
