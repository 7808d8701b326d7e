#include "engine/skip_lists.h"

#include <algorithm>
#include <deque>
#include <map>
#include <utility>

#include "base/text.h"
#include "engine/skip_lists_data.h"
#include "platform/files.h"
#include "platform/shell.h"

namespace bc::engine {

FragmentMatcher::FragmentMatcher(const std::vector<std::u16string>& fragments) {
  fragments_.reserve(fragments.size());
  for (const auto& f : fragments) {
    std::u16string entry = ToLower(TrimView(f));
    if (!entry.empty()) fragments_.push_back(std::move(entry));
  }

  // The trie, with ordered edges so that the flattened edge lists come out sorted.
  std::vector<std::map<char16_t, std::uint32_t>> next(1);
  std::vector<bool> ends(1, false);
  for (const auto& f : fragments_) {
    std::uint32_t node = 0;
    for (char16_t c : f) {
      auto it = next[node].find(c);
      if (it == next[node].end()) {
        const auto child = static_cast<std::uint32_t>(next.size());
        next[node].emplace(c, child);
        next.emplace_back();
        ends.push_back(false);
        node = child;
      } else {
        node = it->second;
      }
    }
    ends[node] = true;
  }

  nodes_.resize(next.size());
  for (std::size_t i = 0; i < next.size(); ++i) {
    nodes_[i].firstEdge = static_cast<std::uint32_t>(edgeChars_.size());
    nodes_[i].edgeCount = static_cast<std::uint32_t>(next[i].size());
    nodes_[i].match = ends[i];
    for (const auto& [c, child] : next[i]) {
      edgeChars_.push_back(c);
      edgeTargets_.push_back(child);
    }
  }
  rootAscii_.fill(kNone);
  for (const auto& [c, child] : next[0]) {
    if (c < 128) rootAscii_[c] = child;
  }

  // Fail links breadth first: a node's fail target is the longest proper suffix of its path that
  // is also a path of the trie.
  std::deque<std::uint32_t> queue;
  for (const auto& [c, child] : next[0]) {
    nodes_[child].fail = 0;
    queue.push_back(child);
  }
  while (!queue.empty()) {
    const std::uint32_t node = queue.front();
    queue.pop_front();
    for (const auto& [c, child] : next[node]) {
      std::uint32_t f = nodes_[node].fail;
      std::uint32_t target = Step(f, c);
      while (target == kNone && f != 0) {
        f = nodes_[f].fail;
        target = Step(f, c);
      }
      nodes_[child].fail = target == kNone ? 0 : target;
      nodes_[child].match = nodes_[child].match || nodes_[nodes_[child].fail].match;
      queue.push_back(child);
    }
  }
}

std::uint32_t FragmentMatcher::Step(std::uint32_t node, char16_t c) const {
  if (node == 0 && c < 128) return rootAscii_[c];
  const Node& n = nodes_[node];
  const char16_t* begin = edgeChars_.data() + n.firstEdge;
  const char16_t* end = begin + n.edgeCount;
  const char16_t* it =
      n.edgeCount <= 8 ? std::find(begin, end, c) : std::lower_bound(begin, end, c);
  if (it == end || *it != c) return kNone;
  return edgeTargets_[n.firstEdge + static_cast<std::uint32_t>(it - begin)];
}

bool FragmentMatcher::ContainsAny(std::u16string_view text) const {
  std::uint32_t state = 0;
  for (char16_t raw : text) {
    const char16_t c = ToLower(raw);
    for (;;) {
      const std::uint32_t target = Step(state, c);
      if (target != kNone) {
        state = target;
        break;
      }
      if (state == 0) break;
      state = nodes_[state].fail;
    }
    if (nodes_[state].match) return true;
  }
  return false;
}

bool FragmentMatcher::ContainsAnyByScan(std::u16string_view text) const {
  const std::u16string lower = ToLower(text);
  for (const auto& f : fragments_) {
    if (lower.find(f) != std::u16string::npos) return true;
  }
  return false;
}

std::vector<std::u16string> KeySkipEntries() {
  std::vector<std::u16string> entries;
  entries.reserve(skipdata::kKeyClassIdEntries.size() + skipdata::kKeyOtherEntries.size() +
                  kOwnFamilyClassIds.size());
  for (auto e : skipdata::kKeyClassIdEntries) entries.emplace_back(e);
  for (auto e : skipdata::kKeyOtherEntries) entries.emplace_back(e);
  for (auto e : kOwnFamilyClassIds) entries.emplace_back(e);
  return entries;
}

std::vector<std::u16string> FileSkipEntries(const std::vector<std::u16string>& specialFolders) {
  std::vector<std::u16string> entries;
  entries.reserve(skipdata::kFileFixedEntries.size() + specialFolders.size());
  for (auto e : skipdata::kFileFixedEntries) entries.emplace_back(e);
  for (const auto& path : specialFolders) entries.push_back(path);
  return entries;
}

std::vector<std::u16string> NetworkFolderPaths(platform::IShell& shell,
                                               platform::IFileSystem& files) {
  std::vector<std::u16string> paths;
  for (int csidl : {platform::CSIDL_NETWORK, platform::CSIDL_NETHOOD}) {
    std::u16string path;
    if (!shell.SHGetSpecialFolderPathW(&path, csidl, 0)) continue;
    if (!TrimView(path).empty() && files.PathFileExistsW(path)) paths.push_back(std::move(path));
  }
  return paths;
}

CSkipLists::CSkipLists(FolderSource specialFolders) : specialFolders_(std::move(specialFolders)) {}

std::unique_ptr<CSkipLists> CSkipLists::ForMachine(platform::IShell& shell,
                                                   platform::IFileSystem& files) {
  return std::make_unique<CSkipLists>(
      [&shell, &files] { return NetworkFolderPaths(shell, files); });
}

const FragmentMatcher& CSkipLists::KeyList() const {
  std::call_once(keyOnce_, [this] { keys_ = std::make_unique<FragmentMatcher>(KeySkipEntries()); });
  return *keys_;
}

const FragmentMatcher& CSkipLists::FileList() const {
  std::call_once(fileOnce_, [this] {
    std::vector<std::u16string> folders;
    if (specialFolders_) folders = specialFolders_();
    files_ = std::make_unique<FragmentMatcher>(FileSkipEntries(folders));
  });
  return *files_;
}

bool CSkipLists::IsReportableKey(std::u16string_view key) const {
  return !KeyList().ContainsAny(key);
}

bool CSkipLists::IsCheckableFile(std::u16string_view path) const {
  return !FileList().ContainsAny(path);
}

}  // namespace bc::engine
