// The user's exclusion list (keys never to report) and the history-list exclusions (history
// findings a cleaning run failed to remove), with their files "ExcludeList.dvn" and
// "TempHLList.dvn" in the application-data folder. One CExclusionLists lives for the whole run
// of the program; the scan consults it through the context's hooks.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bc::platform {
class IFileSystem;
}

namespace bc::engine {

class CScanController;
class EngineContext;

inline constexpr std::u16string_view kExclusionFileName = u"ExcludeList.dvn";
inline constexpr std::u16string_view kHistoryExclusionFileName = u"TempHLList.dvn";

// Both files: the entry count as u32 (ignored when reading), the count again in the archive's
// count form, then the entries as archive strings.
std::vector<std::uint8_t> EncodeExclusionFile(const std::vector<std::u16string>& entries);
// nullopt when the bytes are truncated or malformed. Bytes after the last entry are ignored.
std::optional<std::vector<std::u16string>> DecodeExclusionFile(std::span<const std::uint8_t> bytes);

// The roots the add-entry dialog offers, the first one selected.
inline constexpr std::array<std::u16string_view, 4> kExclusionRoots{
    u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT", u"HKEY_USERS"};

// The add-entry dialog's verdict on a root and key text.
struct NewExclusionEntry {
  std::u16string candidate;     // the entry to add: "ROOT\KEY", upper case
  std::u16string_view refusal;  // empty, or the text key of the message that refuses it
  bool Accepted() const { return refusal.empty(); }
};

class CExclusionLists {
 public:
  // Reads "ExcludeList.dvn" in folder. A file that cannot be opened leaves the list as it is; a
  // damaged one empties it.
  void LoadExclusions(platform::IFileSystem& files, std::u16string_view folder);
  // Reads "TempHLList.dvn" in folder; the list is emptied first.
  void LoadHistoryExclusions(platform::IFileSystem& files, std::u16string_view folder);
  // Write the files through a temporary file that then replaces the old one, so that a failed
  // write leaves the previous file intact. False on failure (callers may ignore it).
  bool SaveExclusions(platform::IFileSystem& files, std::u16string_view folder) const;
  bool SaveHistoryExclusions(platform::IFileSystem& files, std::u16string_view folder) const;

  // Appends path unless it is empty or an entry equal to it ignoring case exists.
  bool AddExclusion(std::u16string_view path);
  // Removes the first entry equal to path ignoring case.
  bool RemoveExclusion(std::u16string_view path);
  // True when a non-empty entry occurs in key, both upper-cased.
  bool IsExcluded(std::u16string_view key) const;
  // True when a non-empty history-list exclusion occurs in key, both upper-cased.
  bool IsHistoryExcluded(std::u16string_view key) const;
  // After a cleaning run: the key of every problem still selected (its repair failed) joins the
  // history-list exclusions, and the problem leaves its category's list.
  void RememberUnfixed(CScanController& controller);

  // The add-entry dialog's rules: the key is trimmed (blank: IDS_NOEMPTY_KEY), root and key are
  // upper-cased and joined, and an entry that exists ignoring case is refused
  // (IDS_ITEM_ALREADY_EXIST). The page then calls AddExclusion with the candidate.
  NewExclusionEntry CheckNewEntry(std::u16string_view root, std::u16string_view key) const;

  std::vector<std::u16string> Exclusions() const;
  std::vector<std::u16string> HistoryExclusions() const;
  void SetHistoryExclusions(std::vector<std::u16string> entries);

 private:
  // Entries together with their upper-case forms, which every finding is matched against.
  struct List {
    std::vector<std::u16string> entries;
    std::vector<std::u16string> upper;
    void Assign(std::vector<std::u16string> newEntries);
    void Append(std::u16string entry);
    void Clear();
    bool Matches(std::u16string_view upperKey) const;
  };

  mutable std::mutex mutex_;  // the scan thread matches while the settings page may edit
  List exclusions_;
  List history_;
};

// Points the context's exclusion hooks at lists, which must outlive every scan of ctx.
void AttachExclusionHooks(EngineContext& ctx, const CExclusionLists& lists);

}  // namespace bc::engine
