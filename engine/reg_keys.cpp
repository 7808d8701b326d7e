#include "engine/reg_keys.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "engine/context.h"
#include "platform/registry.h"

namespace bc::engine {

namespace {

using platform::DWORD;
using platform::HKEY;
using platform::LSTATUS;
using platform::REGSAM;

constexpr DWORD kSubkeyNameChars = 255;
constexpr DWORD kValueNameChars = 1024;
constexpr DWORD kNamedValueChars = 255;
constexpr DWORD kMinTextChars = 260;

constexpr std::u16string_view kWow6432NodeLower = u"wow6432node";

REGSAM ViewBitsFor(bool wow64, bool use64BitView) {
  if (!wow64) return 0;
  return use64BitView ? platform::KEY_WOW64_64KEY : platform::KEY_WOW64_32KEY;
}

DWORD ValueCount(platform::IRegistry& reg, HKEY key) {
  platform::RegKeyInfo info;
  return reg.RegQueryInfoKeyW(key, &info) == platform::ERROR_SUCCESS ? info.values : 0;
}

// Value names by index with a name buffer of cch characters; failing indices are skipped.
template <typename Keep>
std::size_t EnumValues(platform::IRegistry& reg, HKEY key, DWORD cch,
                       std::vector<std::u16string>& list, Keep keep) {
  list.clear();
  const DWORD count = ValueCount(reg, key);
  std::vector<char16_t> name(cch);
  for (DWORD i = 0; i < count; ++i) {
    DWORD len = cch;
    if (reg.RegEnumValueW(key, i, name.data(), &len, nullptr, nullptr, nullptr) !=
        platform::ERROR_SUCCESS) {
      continue;
    }
    std::u16string text(name.data(), std::min(len, cch));
    if (keep(i, text)) list.push_back(std::move(text));
  }
  return list.size();
}

}  // namespace

REGSAM ReadMaskForView(bool wow64, bool use64BitView) {
  return kReadAccess | ViewBitsFor(wow64, use64BitView);
}

REGSAM OpenMaskForView(bool wow64, bool use64BitView) {
  return kWriteAccess | ViewBitsFor(wow64, use64BitView);
}

void OpenedKey::Reset(HKEY handle, REGSAM access) {
  Close();
  handle_ = handle;
  viewBits_ = access & platform::KEY_WOW64_RES;
}

void OpenedKey::Close() {
  if (handle_ != platform::kNullKey) registry_->RegCloseKey(handle_);
  handle_ = platform::kNullKey;
  viewBits_ = 0;
}

LSTATUS OpenKey(REGSAM access, std::u16string_view subKey, HKEY root, OpenedKey& key) {
  HKEY handle = platform::kNullKey;
  const LSTATUS status = key.Registry().RegOpenKeyExW(root, subKey, 0, access, &handle);
  if (status == platform::ERROR_SUCCESS) key.Reset(handle, access);
  return status;
}

bool OpenOrCreateKey(EngineContext& ctx, std::u16string_view subKey, HKEY root, REGSAM access) {
  platform::IRegistry& reg = ctx.Registry();
  OpenedKey key(reg);
  if (OpenKey(access, subKey, root, key) == platform::ERROR_SUCCESS) return true;
  if ((access & ~platform::KEY_WOW64_RES) == kReadAccess) return false;
  HKEY handle = platform::kNullKey;
  if (reg.RegCreateKeyExW(root, subKey, platform::REG_OPTION_NON_VOLATILE, access, &handle,
                          nullptr) != platform::ERROR_SUCCESS) {
    return false;
  }
  key.Reset(handle, access);
  return true;
}

LSTATUS DeleteOpenedKey(const EngineContext& ctx, OpenedKey& key) {
  if (!key.IsOpen()) return platform::ERROR_INVALID_HANDLE;
  // RegDeleteKeyExW is missing only from 32-bit Windows XP.
  const bool hasDeleteKeyEx = ctx.Facts().windowsMajorVersion > 5 || IsWow64(ctx);
  if (hasDeleteKeyEx) return key.Registry().RegDeleteKeyExW(key.get(), u"", key.ViewBits());
  return key.Registry().RegDeleteKeyW(key.get(), u"");
}

bool EnumSubkeys(EngineContext& ctx, HKEY key, std::vector<std::u16string>& list) {
  list.clear();
  platform::IRegistry& reg = ctx.Registry();
  platform::RegKeyInfo info;
  if (reg.RegQueryInfoKeyW(key, &info) != platform::ERROR_SUCCESS) return false;
  const bool wow64 = IsWow64(ctx);
  char16_t name[kSubkeyNameChars];
  for (DWORD i = 0; i < info.subKeys; ++i) {
    DWORD len = kSubkeyNameChars;
    if (reg.RegEnumKeyExW(key, i, name, &len) != platform::ERROR_SUCCESS) continue;
    std::u16string text(name, std::min(len, kSubkeyNameChars));
    if (wow64 && StartsWithNoCase(text, kWow6432NodeLower)) continue;
    list.push_back(std::move(text));
  }
  return !list.empty();
}

std::size_t EnumValueNames(EngineContext& ctx, HKEY key, std::vector<std::u16string>& list) {
  return EnumValues(ctx.Registry(), key, kValueNameChars, list,
                    [](DWORD, const std::u16string&) { return true; });
}

std::size_t EnumNamedValues(EngineContext& ctx, HKEY key, std::vector<std::u16string>& list) {
  return EnumValues(ctx.Registry(), key, kNamedValueChars, list,
                    [](DWORD index, const std::u16string& name) {
                      return index != 0 || !TrimView(name).empty();
                    });
}

bool QueryStringValue(platform::IRegistry& reg, HKEY key, std::u16string_view valueName,
                      std::u16string* text) {
  text->clear();
  DWORD type = 0;
  DWORD size = 0;
  if (reg.RegQueryValueExW(key, valueName, &type, nullptr, &size) != platform::ERROR_SUCCESS) {
    return false;
  }
  if (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) return false;
  // The value may grow between the size query and the read; try again with the new size.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<std::uint8_t> buffer(std::max<std::size_t>(size, kMinTextChars * 2) + 2, 0);
    DWORD got = static_cast<DWORD>(buffer.size());
    const LSTATUS status = reg.RegQueryValueExW(key, valueName, &type, buffer.data(), &got);
    if (status == platform::ERROR_MORE_DATA) {
      size = got;
      continue;
    }
    if (status != platform::ERROR_SUCCESS) return false;
    if (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) return false;
    const std::size_t units = std::min<std::size_t>(got, buffer.size()) / 2;
    std::u16string raw(units, u'\0');
    if (units != 0) std::memcpy(raw.data(), buffer.data(), units * 2);
    const std::size_t nul = raw.find(u'\0');
    if (nul != std::u16string::npos) raw.resize(nul);
    *text = std::move(raw);
    return true;
  }
  return false;
}

bool ReadStringValue(EngineContext& ctx, HKEY root, std::u16string_view subKey,
                     std::u16string_view valueName, RegView view, std::u16string* text) {
  text->clear();
  const bool wow64 = IsWow64(ctx);
  REGSAM viewBits = 0;
  switch (view) {
    case RegView::kNone:
      // The view-less read is meant for 32-bit Windows only; under WOW64 it reads nothing.
      if (wow64) return true;
      break;
    case RegView::kNative:
      viewBits = platform::KEY_WOW64_64KEY;
      break;
    case RegView::kWow6432:
      viewBits = platform::KEY_WOW64_32KEY;
      break;
  }
  OpenedKey key(ctx.Registry());
  LSTATUS status = OpenKey(kWriteAccess | viewBits, subKey, root, key);
  if (status == platform::ERROR_ACCESS_DENIED) {
    status = OpenKey(kReadAccess | viewBits, subKey, root, key);
  }
  if (status != platform::ERROR_SUCCESS) return false;
  std::u16string raw;
  if (QueryStringValue(ctx.Registry(), key.get(), valueName, &raw)) *text = Trim(raw);
  return true;
}

std::u16string ParentPath(std::u16string_view path) {
  const std::size_t pos = path.rfind(u'\\');
  return pos == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, pos));
}

std::u16string LeafName(std::u16string_view path) {
  const std::size_t pos = path.rfind(u'\\');
  return std::u16string(pos == std::u16string_view::npos ? path : path.substr(pos + 1));
}

bool ShowInRegistryEditor(EngineContext& ctx, std::u16string_view fullPath,
                          std::u16string_view valueName) {
  return ctx.hooks.showInRegistryEditor && ctx.hooks.showInRegistryEditor(fullPath, valueName);
}

}  // namespace bc::engine
