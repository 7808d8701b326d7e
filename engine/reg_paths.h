// Full registry paths ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), the five roots, access masks with
// their view bits, and the protection and elevation tests the problem gate relies on.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace bc::engine {

class EngineContext;

struct RootKey {
  std::u16string_view name;  // long name, matched exactly and case-sensitively
  platform::HKEY handle;
  int index;  // what undo operations store
};

inline constexpr std::array<RootKey, 5> kRootKeys{{
    {u"HKEY_CLASSES_ROOT", platform::HKEY_CLASSES_ROOT, 0},
    {u"HKEY_CURRENT_USER", platform::HKEY_CURRENT_USER, 1},
    {u"HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE, 2},
    {u"HKEY_USERS", platform::HKEY_USERS, 3},
    {u"HKEY_CURRENT_CONFIG", platform::HKEY_CURRENT_CONFIG, 4},
}};

// KEY_READ, and KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY: the mask keys are examined with.
inline constexpr platform::REGSAM kReadAccess = 0x20019;
inline constexpr platform::REGSAM kWriteAccess = 0x2001F;

// Index 0-4 of a long root name, -1 for anything else (including other letter case).
int RootIndexFromName(std::u16string_view name);
// Handle of an index 0-4, kNullKey outside.
platform::HKEY RootHandleFromIndex(int index);
// Index of a root handle, -1 when it is not one of the five.
int RootIndexFromHandle(platform::HKEY root);
// Long name of a root handle, empty when it is not one of the five.
std::u16string_view RootName(platform::HKEY root);
// "HKEY_...\" for a root handle, empty when it is not one of the five.
std::u16string RootPrefix(platform::HKEY root);
// Root prefix followed by the sub-key; empty when the root is not one of the five.
std::u16string FullPath(platform::HKEY root, std::u16string_view subKey);

struct SplitPath {
  platform::HKEY root = platform::kNullKey;
  std::u16string_view subKey;  // views the text given to SplitFullPath
};
// Splits at the first backslash; the left part must be one of the five long names. A bare root
// name gives an empty sub-key.
std::optional<SplitPath> SplitFullPath(std::u16string_view fullPath);

// The view bit a key of a finding is opened with: none outside WOW64, else KEY_WOW64_32KEY for a
// 32-bit-view finding (is32BitEntry 1) and KEY_WOW64_64KEY for a native one (is32BitEntry 0).
platform::REGSAM ViewBits(bool wow64, int is32BitEntry);
inline platform::REGSAM WithView(platform::REGSAM access, bool wow64, int is32BitEntry) {
  return access | ViewBits(wow64, is32BitEntry);
}

// True when this 32-bit process runs on 64-bit Windows.
bool IsWow64(const EngineContext& ctx);
// True when the user runs with an administrator token (IsUserAnAdmin).
bool IsUserAnAdmin(const EngineContext& ctx);
// Windows Resource Protection of a key; only Vista and later protect keys. The access mask
// carries the view bits.
bool IsKeyProtected(EngineContext& ctx, platform::HKEY root, std::u16string_view subKey,
                    platform::REGSAM access);

}  // namespace bc::engine
