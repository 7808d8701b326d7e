// CCategory::CheckEmptyKey: reports registry keys that hold nothing as entry type 1, except keys
// that Windows and common software expect to exist even when empty.
#include <array>
#include <string_view>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/reg_keys.h"
#include "engine/reg_paths.h"
#include "platform/registry.h"

namespace bc::engine {

namespace {

constexpr std::int32_t kEmptyKeyType = 1;

// Substrings of the upper-cased full path; a key containing one is never reported as empty.
constexpr std::array<std::u16string_view, 30> kProtectedFragments{
    u"WOW6432NODE",
    u"MICROSOFT\\SECURITY CENTER",
    u"MICROSOFT\\SPEECH\\RECOGNIZERS",
    u"MICROSOFT\\SYSTEMCERTIFICATES",
    u"MICROSOFT\\VISUALSTUDIO",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORK",
    u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\SECEDIT",
    u"POLICIES\\MICROSOFT",
    u"MICROSOFT\\WINDOWS\\CURRENTVERSION",
    u"\\DATAPROVIDERS\\",
    u"\\OPENWITHLIST",
    u"MICROSOFT\\ASP.NET",
    u"\\PRINTERS\\SHELL",
    u"\\SHELLEX\\",
    u"MICROSOFT\\ODBC",
    u"MICROSOFT\\ENTERPRISECERTIFICATES",
    u"MICROSOFT\\WBEM",
    u"MICROSOFT\\KEYRING",
    u"SOFTWARE\\CLASSES\\.",
    u"SOFTWARE\\CLASSES\\CLSID\\",
    u"SOFTWARE\\CLASSES\\TYPELIB\\",
    u"SOFTWARE\\CLASSES\\INTERFACE\\",
    u"SOFTWARE\\MICROSOFT\\SAPI LAYER",
    u"SOFTWARE\\MICROSOFT",
    u"MICROSOFT\\CRYPTOGRAPHY",
    u"WINDOWS 3.1 MIGRATION STATUS",
    u"\\VIRTUALSTORE\\",
    u"\\IMPLEMENTED CATEGORIES",
    u"INTERNET EXPLORER",
    u"SOFTWARE\\MICROSOFT\\WINDOWS NT",
};

// Searched after the first list.
constexpr std::array<std::u16string_view, 1> kProtectedFragments2{
    u"SOFTWARE\\MICROSOFT\\VISUAL BASIC\\6.0",
};

enum class FragmentSearch { kNone, kFound, kStopped };

template <std::size_t N>
FragmentSearch FindFragment(const CCategory& category, std::u16string_view upperPath,
                            const std::array<std::u16string_view, N>& fragments) {
  for (std::u16string_view fragment : fragments) {
    if (category.IsStopRequested()) return FragmentSearch::kStopped;
    if (upperPath.find(fragment) != std::u16string_view::npos) return FragmentSearch::kFound;
  }
  return FragmentSearch::kNone;
}

// A key named after a class identifier is only reported while that class is fully registered
// (class, type library and interface); otherwise it may belong to a half-removed component that
// another checker handles.
bool ClassIdentifierFullyRegistered(EngineContext& ctx, std::u16string_view upperPath,
                                    platform::REGSAM readMask) {
  const std::size_t open = upperPath.rfind(u'{');
  const std::size_t close = upperPath.find(u'}', open);
  if (close == std::u16string_view::npos) return false;
  const std::u16string_view guid = upperPath.substr(open, close - open + 1);
  for (std::u16string_view parent : {u"clsid\\", u"typelib\\", u"interface\\"}) {
    std::u16string subKey(parent);
    subKey += guid;
    OpenedKey key(ctx.Registry());
    if (OpenKey(readMask, subKey, platform::HKEY_CLASSES_ROOT, key) != platform::ERROR_SUCCESS) {
      return false;
    }
  }
  return true;
}

}  // namespace

int CCategory::CheckEmptyKey(platform::HKEY root, const std::u16string& subKey, bool use64BitView,
                             const std::vector<std::u16string>& skipFragments, bool recurse) {
  EngineContext& ctx = Context();
  const bool skipEmptyKeys = !ctx.hooks.skipEmptyKeys || ctx.hooks.skipEmptyKeys();
  if (skipEmptyKeys) return 0;
  if (IsStopRequested()) return 1;

  const std::u16string lowerSubKey = ToLower(subKey);
  for (const std::u16string& fragment : skipFragments) {
    if (lowerSubKey.find(fragment) != std::u16string::npos) return 0;
  }

  const bool wow64 = IsWow64(ctx);
  const platform::REGSAM readMask = ReadMaskForView(wow64, use64BitView);
  const platform::REGSAM openMask = OpenMaskForView(wow64, use64BitView);

  std::u16string defaultText;
  std::vector<std::u16string> subkeys;
  std::vector<std::u16string> valueNames;
  {
    OpenedKey key(ctx.Registry());
    if (OpenKey(openMask, subKey, root, key) != platform::ERROR_SUCCESS) return 1;
    const RegView view =
        !wow64 ? RegView::kNone : (use64BitView ? RegView::kNative : RegView::kWow6432);
    ReadStringValue(ctx, root, subKey, u"", view, &defaultText);
    EnumSubkeys(ctx, key.get(), subkeys);
    EnumValueNames(ctx, key.get(), valueNames);
  }

  if (!recurse && (!valueNames.empty() || !subkeys.empty())) return 0;

  // A key whose one value is a named value is not empty, whatever its default value reads.
  const bool onlyEmptyDefault =
      valueNames.size() == 1 && valueNames.front().empty() && defaultText.empty();
  if (subkeys.empty() && (valueNames.empty() || onlyEmptyDefault)) {
    const std::u16string fullPath = FullPath(root, subKey);
    if (fullPath.empty()) return 0;
    const std::u16string upperPath = ToUpper(fullPath);
    if (EqualsNoCase(subKey, u"SOFTWARE\\CLASSES")) return 0;
    FragmentSearch found = FindFragment(*this, upperPath, kProtectedFragments);
    if (found == FragmentSearch::kNone)
      found = FindFragment(*this, upperPath, kProtectedFragments2);
    if (found == FragmentSearch::kStopped) return 1;
    if (found == FragmentSearch::kFound) return 0;
    if (upperPath.find(u'{') != std::u16string::npos &&
        !ClassIdentifierFullyRegistered(ctx, upperPath, readMask)) {
      return 0;
    }
    const int index =
        AddProblem(kEmptyKeyType, fullPath, u"", defaultText, u"", use64BitView ? 0 : 1);
    AddProblemText(ctx.LookupText(u"IDS_EMPTY_KEY"), index);
    AddProblemText(fullPath, index);
  }

  if (recurse) {
    for (const std::u16string& name : subkeys) {
      if (IsStopRequested()) return 1;
      std::u16string child = subKey;
      child += u'\\';
      child += name;
      CheckEmptyKey(root, child, use64BitView, skipFragments, recurse);
    }
  }
  return 0;
}

}  // namespace bc::engine
