// The small set of registry operations every category calls: opening keys in the right view,
// enumerating subkeys and values, reading a string value, deleting an opened key, and splitting
// paths. Root names, the access masks and the protection test live in reg_paths.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/reg_paths.h"
#include "platform/win32_types.h"

namespace bc::platform {
class IRegistry;
}

namespace bc::engine {

class EngineContext;

// The masks a key is examined with in one view: read (KEY_READ) and open (read plus
// KEY_SET_VALUE | KEY_CREATE_SUB_KEY). Under WOW64 they name the view: KEY_WOW64_64KEY for the
// native view, KEY_WOW64_32KEY otherwise; outside WOW64 no view bit is added.
platform::REGSAM ReadMaskForView(bool wow64, bool use64BitView);
platform::REGSAM OpenMaskForView(bool wow64, bool use64BitView);

// An open registry key together with the view bits it was opened with, because deleting it must
// name the same view. Closes itself.
class OpenedKey {
 public:
  explicit OpenedKey(platform::IRegistry& registry) : registry_(&registry) {}
  ~OpenedKey() { Close(); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  bool IsOpen() const { return handle_ != platform::kNullKey; }
  platform::HKEY get() const { return handle_; }
  platform::REGSAM ViewBits() const { return viewBits_; }
  platform::IRegistry& Registry() const { return *registry_; }

  // Closes the held key first, then takes over handle.
  void Reset(platform::HKEY handle, platform::REGSAM access);
  void Close();

 private:
  platform::IRegistry* registry_;
  platform::HKEY handle_ = platform::kNullKey;
  platform::REGSAM viewBits_ = 0;
};

// RegOpenKeyExW. On success the key held before is closed and the new one (with its view bits)
// is held; on failure the object is left as it was.
platform::LSTATUS OpenKey(platform::REGSAM access, std::u16string_view subKey, platform::HKEY root,
                          OpenedKey& key);

// Opens the key, or, when that fails and access is more than plain read access, creates it with
// the same access. The key is closed again at once.
bool OpenOrCreateKey(EngineContext& ctx, std::u16string_view subKey, platform::HKEY root,
                     platform::REGSAM access);

// Deletes the key the object holds, in the view it was opened in: RegDeleteKeyExW where Windows
// has it, RegDeleteKeyW on 32-bit Windows XP. A key with subkeys is not deleted.
platform::LSTATUS DeleteOpenedKey(const EngineContext& ctx, OpenedKey& key);

// Subkey names in enumeration order; true when there is at least one. Indices that fail (names
// longer than 254 characters among them) are skipped. Under WOW64 names beginning with
// "wow6432node" (any case) are left out, so the 32-bit view is not walked again through the
// native one.
bool EnumSubkeys(EngineContext& ctx, platform::HKEY key, std::vector<std::u16string>& list);
// Value names (the default value as an empty name), up to 1023 characters; returns the count.
std::size_t EnumValueNames(EngineContext& ctx, platform::HKEY key,
                           std::vector<std::u16string>& list);
// Value names up to 254 characters; the value at index 0 is listed only when its name, trimmed,
// is not empty. Returns the count.
std::size_t EnumNamedValues(EngineContext& ctx, platform::HKEY key,
                            std::vector<std::u16string>& list);

// Which view ReadStringValue reads.
enum class RegView {
  kNone,     // no view bit: only meant for 32-bit Windows
  kNative,   // KEY_WOW64_64KEY
  kWow6432,  // KEY_WOW64_32KEY
};

// Reads a REG_SZ or REG_EXPAND_SZ value as text, cut at its first NUL and trimmed; other types,
// missing values and read errors give an empty text. The key is opened for writing, and for
// reading when that is denied. Answers whether the key opened. Under WOW64 the kNone variant
// answers true at once with an empty text, without reading.
bool ReadStringValue(EngineContext& ctx, platform::HKEY root, std::u16string_view subKey,
                     std::u16string_view valueName, RegView view, std::u16string* text);

// The text of a REG_SZ / REG_EXPAND_SZ value of an open key, cut at its first NUL (not trimmed).
// False, with an empty text, when the value is missing, unreadable or of another type.
bool QueryStringValue(platform::IRegistry& registry, platform::HKEY key,
                      std::u16string_view valueName, std::u16string* text);

// The part before the last "\", empty when there is none.
std::u16string ParentPath(std::u16string_view path);
// The part after the last "\", the whole path when there is none.
std::u16string LeafName(std::u16string_view path);

// Shown when the registry viewer cannot be started.
inline constexpr std::u16string_view kCantRunRegedit = u"Can't run Regedit.";
// Asks the program's registry viewer to show a key (full path) and value. False when no viewer
// could take the request; the caller then shows kCantRunRegedit.
bool ShowInRegistryEditor(EngineContext& ctx, std::u16string_view fullPath,
                          std::u16string_view valueName);

}  // namespace bc::engine
