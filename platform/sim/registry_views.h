// The 32-bit registry view of 64-bit Windows 7: which keys below HKLM\SOFTWARE and below a
// classes root are redirected to a Wow6432Node sub-key and which are shared by both views.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bc::platform::sim {

// Where a logical path below HKEY_LOCAL_MACHINE, HKEY_USERS or HKEY_CLASSES_ROOT lies physically
// in the 32-bit view.
struct ViewMapping {
  std::vector<std::u16string> physical;  // components below the same root
  // True when no rule can apply to anything below this key: its sub-keys map one to one.
  bool settled = false;
};

enum class ViewSpace {
  kMachine,  // below HKEY_LOCAL_MACHINE: SOFTWARE is the redirected branch
  kUsers,    // below HKEY_USERS: "<SID>_Classes" roots have redirected keys
  kClasses,  // below HKEY_CLASSES_ROOT (or a classes root itself)
};

// Maps logical components to the physical ones for the 32-bit view (view32) or tells, for the
// 64-bit view, only whether the path is settled (the components stay as they are).
ViewMapping MapView(ViewSpace space, const std::vector<std::u16string_view>& logical, bool view32);

inline constexpr std::u16string_view kWow6432Node = u"Wow6432Node";

}  // namespace bc::platform::sim
