// The built-in skip lists: fragments of keys that are never reported and of file references that
// are never tested. Both are plain substring tests on lower-cased text.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace bc::platform {
class IShell;
class IFileSystem;
}  // namespace bc::platform

namespace bc::engine {

// Tells whether a text contains any of a fixed set of fragments, ignoring letter case (per UTF-16
// code unit). The fragments are lower-cased and trimmed once; empty ones are left out, since they
// would match every text. The test is an Aho-Corasick walk: linear in the length of the text,
// independent of the number of fragments, and it allocates nothing.
class FragmentMatcher {
 public:
  explicit FragmentMatcher(const std::vector<std::u16string>& fragments);

  bool ContainsAny(std::u16string_view text) const;
  // The same answer by searching each fragment in a lower-cased copy, in list order. Kept as the
  // reference the automaton is checked and measured against.
  bool ContainsAnyByScan(std::u16string_view text) const;

  // The fragments as stored: lower-cased, trimmed, in list order, duplicates kept.
  const std::vector<std::u16string>& Fragments() const { return fragments_; }
  std::size_t NodeCount() const { return nodes_.size(); }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  struct Node {
    std::uint32_t firstEdge = 0;
    std::uint32_t edgeCount = 0;
    std::uint32_t fail = 0;
    bool match = false;  // a fragment ends here or at a node of its fail chain
  };
  std::uint32_t Step(std::uint32_t node, char16_t c) const;

  std::vector<std::u16string> fragments_;
  std::vector<Node> nodes_;
  std::vector<char16_t> edgeChars_;  // per node, sorted
  std::vector<std::uint32_t> edgeTargets_;
  std::array<std::uint32_t, 128> rootAscii_{};  // the root's ASCII edges, kNone when absent
};

// Class identifiers of this product family's own components, never reported as findings.
inline constexpr std::array<std::u16string_view, 7> kOwnFamilyClassIds{{
    u"{6A1E0C52-8B3D-4F17-9C2A-5E7D31B04F86}",
    u"{B2C94E17-3D6A-4E80-A1F5-7C08D29E6B34}",
    u"{0F3D7A29-C6E1-4B58-8D92-14A7E5C3B0D1}",
    u"{D84B1F6C-2A97-4C3E-B5D0-9E61F7A2C845}",
    u"{47E2C8B0-91DA-4F6B-A3C7-0B5D28E9F163}",
    u"{9C05B7E3-6F48-4D21-8A1C-E3F92B7D5064}",
    u"{E5A07D3C-1B",
}};

// The key skip list as listed: class identifiers, other entries, then the family's own.
std::vector<std::u16string> KeySkipEntries();
// The file skip list: the fixed entries followed by the given special folder paths.
std::vector<std::u16string> FileSkipEntries(const std::vector<std::u16string>& specialFolders);
// The paths of the NETWORK and NETHOOD special folders that are not empty and exist, in that
// order.
std::vector<std::u16string> NetworkFolderPaths(platform::IShell& shell,
                                               platform::IFileSystem& files);

// Both lists of one engine context, each built on first use and kept until the object goes.
// Safe to use from several threads.
class CSkipLists {
 public:
  // Supplies the special folder paths appended to the file list; called once, on first use of
  // the file list. Empty: no special folders.
  using FolderSource = std::function<std::vector<std::u16string>()>;

  explicit CSkipLists(FolderSource specialFolders = {});
  // Lists whose special folders come from this machine (NetworkFolderPaths).
  static std::unique_ptr<CSkipLists> ForMachine(platform::IShell& shell,
                                                platform::IFileSystem& files);

  // False when the key, lower-cased, contains an entry of the key skip list.
  bool IsReportableKey(std::u16string_view key) const;
  // False when the path, lower-cased, contains an entry of the file skip list.
  bool IsCheckableFile(std::u16string_view path) const;

  const FragmentMatcher& KeyList() const;
  const FragmentMatcher& FileList() const;

 private:
  FolderSource specialFolders_;
  mutable std::once_flag keyOnce_;
  mutable std::once_flag fileOnce_;
  mutable std::unique_ptr<FragmentMatcher> keys_;
  mutable std::unique_ptr<FragmentMatcher> files_;
};

}  // namespace bc::engine
