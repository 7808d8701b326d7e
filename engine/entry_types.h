// The 44 kinds of finding (entry types 0-43): their text keys, repair rules and the arguments of
// their one-line description.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace bc::engine {

struct CProblem;

inline constexpr int kEntryTypeCount = 44;

// How the repair engine fixes an entry type:
// A  delete AlternateKey (or Key when empty), then its parent when no subkeys are left;
// B  delete that key; C delete Key; D delete Key (same operation kind as B);
// V  delete the value ValueName under Key; E set that value to the empty text;
// F  recycle the file named by display line 1; U remove display line 1 from the URL history;
// H1, H2 the two history-list procedures.
enum class RepairRule { kA, kB, kC, kD, kV, kE, kF, kU, kH1, kH2 };

// A placeholder of a description format.
enum class DescArg : std::uint8_t {
  kLine0,
  kLine1,
  kLine2,
  kLine3,
  kKey,
  kValueData,
  kValueNameOrDefault,  // ValueName, or "DEFAULT" when it is empty
};

struct EntryTypeInfo {
  RepairRule rule;
  std::uint8_t argCount;
  std::array<DescArg, 3> args;
};

// Indexed by entry type.
extern const std::array<EntryTypeInfo, kEntryTypeCount> kEntryTypeTable;

inline bool IsValidEntryType(std::int32_t type) {
  return type >= 0 && type < kEntryTypeCount;
}
// Entry types of the history-list category and of the URL history (26-32).
inline bool IsHistoryEntryType(std::int32_t type) {
  return type >= 26 && type <= 32;
}

// "IDS_PROBLEM_DESC_" / "IDS_PROBLEM_DETAIL_" followed by type + 1; empty outside 0-43.
std::u16string ProblemDescriptionKey(std::int32_t type);
std::u16string ProblemDetailKey(std::int32_t type);
// "A", "B", ... "H1", "H2".
std::string_view RepairRuleName(RepairRule rule);

// Looks up a localized text by key; an absent key gives an empty text.
using TextLookup = std::function<std::u16string(std::u16string_view key)>;

// The problem's one-line description: its type's description text used as a format, filled from
// the problem's fields. Empty for no problem or a type outside 0-43.
std::u16string ProblemDescriptionText(const CProblem* problem, const TextLookup& lookup);

}  // namespace bc::engine
