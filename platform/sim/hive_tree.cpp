#include "platform/sim/hive_tree.h"

#include <algorithm>

namespace bc::platform::sim {

namespace {
constexpr std::size_t kIndexThreshold = 32;
}

void HiveKey::Reindex() {
  if (subkeys_.size() < kIndexThreshold) {
    index_.reset();
    return;
  }
  index_ =
      std::make_unique<std::unordered_map<std::u16string, HiveKey*, NoCaseHash, NoCaseEqual>>();
  index_->reserve(subkeys_.size() * 2);
  for (auto& k : subkeys_) index_->emplace(k->Name(), k.get());
}

HiveKey* HiveKey::FindSubkey(std::u16string_view name) {
  return const_cast<HiveKey*>(static_cast<const HiveKey*>(this)->FindSubkey(name));
}

const HiveKey* HiveKey::FindSubkey(std::u16string_view name) const {
  if (index_) {
    auto it = index_->find(std::u16string(name));
    return it == index_->end() ? nullptr : it->second;
  }
  for (const auto& k : subkeys_) {
    if (EqualsNoCase(k->Name(), name)) return k.get();
  }
  return nullptr;
}

HiveKey& HiveKey::Subkey(std::u16string_view name) {
  if (HiveKey* k = FindSubkey(name)) return *k;
  subkeys_.push_back(std::make_unique<HiveKey>(std::u16string(name)));
  HiveKey* k = subkeys_.back().get();
  if (index_) {
    index_->emplace(k->Name(), k);
  } else if (subkeys_.size() >= kIndexThreshold) {
    Reindex();
  }
  return *k;
}

HiveKey& HiveKey::Path(std::u16string_view path) {
  HiveKey* k = this;
  for (std::u16string_view part : SplitAll(path, u'\\')) {
    if (!part.empty()) k = &k->Subkey(part);
  }
  return *k;
}

const HiveKey* HiveKey::FindPath(std::u16string_view path) const {
  const HiveKey* k = this;
  for (std::u16string_view part : SplitAll(path, u'\\')) {
    if (part.empty()) continue;
    k = k->FindSubkey(part);
    if (!k) return nullptr;
  }
  return k;
}

bool HiveKey::RemoveSubkey(std::u16string_view name) {
  auto it = std::find_if(subkeys_.begin(), subkeys_.end(),
                         [&](const auto& k) { return EqualsNoCase(k->Name(), name); });
  if (it == subkeys_.end()) return false;
  if (index_) index_->erase(std::u16string((*it)->Name()));
  subkeys_.erase(it);
  return true;
}

HiveKey& HiveKey::AdoptSubkey(std::unique_ptr<HiveKey> key) {
  RemoveSubkey(key->Name());
  subkeys_.push_back(std::move(key));
  HiveKey* k = subkeys_.back().get();
  if (index_) {
    index_->emplace(k->Name(), k);
  } else if (subkeys_.size() >= kIndexThreshold) {
    Reindex();
  }
  return *k;
}

HiveKey& HiveKey::AppendSubkey(std::unique_ptr<HiveKey> key) {
  subkeys_.push_back(std::move(key));
  HiveKey* k = subkeys_.back().get();
  if (index_) {
    index_->emplace(k->Name(), k);
  } else if (subkeys_.size() >= kIndexThreshold) {
    Reindex();
  }
  return *k;
}

const HiveValue* HiveKey::FindValue(std::u16string_view name) const {
  for (const auto& v : values_) {
    if (EqualsNoCase(v.name, name)) return &v;
  }
  return nullptr;
}

void HiveKey::SetValue(std::u16string_view name, DWORD type, std::span<const std::uint8_t> data) {
  for (auto& v : values_) {
    if (EqualsNoCase(v.name, name)) {
      v.type = type;
      v.data.assign(data.begin(), data.end());
      return;
    }
  }
  values_.push_back({std::u16string(name), type, {data.begin(), data.end()}});
}

bool HiveKey::RemoveValue(std::u16string_view name) {
  auto it = std::find_if(values_.begin(), values_.end(),
                         [&](const HiveValue& v) { return EqualsNoCase(v.name, name); });
  if (it == values_.end()) return false;
  values_.erase(it);
  return true;
}

void HiveKey::SetString(std::u16string_view name, std::u16string_view text, DWORD type) {
  SetValue(name, type, RegStringBytes(text));
}

void HiveKey::SetDword(std::u16string_view name, DWORD v) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16),
                             static_cast<std::uint8_t>(v >> 24)};
  SetValue(name, REG_DWORD, b);
}

void HiveKey::SetMultiString(std::u16string_view name, const std::vector<std::u16string>& items) {
  SetValue(name, REG_MULTI_SZ, RegMultiStringBytes(items));
}

std::size_t HiveKey::CountKeys() const {
  std::size_t n = 1;
  for (const auto& k : subkeys_) n += k->CountKeys();
  return n;
}

std::size_t HiveKey::CountValues() const {
  std::size_t n = values_.size();
  for (const auto& k : subkeys_) n += k->CountValues();
  return n;
}

std::vector<std::uint8_t> RegStringBytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> RegMultiStringBytes(const std::vector<std::u16string>& items) {
  std::vector<std::uint8_t> out;
  for (const auto& s : items) {
    auto b = RegStringBytes(s);
    out.insert(out.end(), b.begin(), b.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

}  // namespace bc::platform::sim
