#include "engine/exclusions.h"

#include <algorithm>
#include <utility>

#include "base/archive.h"
#include "base/text.h"
#include "engine/category.h"
#include "engine/category_table.h"
#include "engine/context.h"
#include "engine/scan_controller.h"
#include "platform/files.h"

namespace bc::engine {

namespace {

enum class ReadOutcome { kCannotOpen, kFailed, kRead };

ReadOutcome ReadFileBytes(platform::IFileSystem& fs, std::u16string_view path,
                          std::vector<std::uint8_t>* bytes) {
  platform::FileHandle file(fs,
                            fs.CreateFileW(path, platform::GENERIC_READ, platform::FILE_SHARE_READ,
                                           platform::OPEN_EXISTING, 0));
  if (!file.valid()) return ReadOutcome::kCannotOpen;
  bytes->clear();
  std::uint8_t buffer[4096];
  for (;;) {
    platform::DWORD got = 0;
    if (!fs.ReadFile(file.get(), buffer, sizeof buffer, &got)) return ReadOutcome::kFailed;
    if (got == 0) return ReadOutcome::kRead;
    bytes->insert(bytes->end(), buffer, buffer + std::min<platform::DWORD>(got, sizeof buffer));
  }
}

std::u16string PathIn(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  path += name;
  return path;
}

// Writes a temporary file beside the target and moves it over the target, so a failure at any
// point leaves the old file as it was.
bool ReplaceFile(platform::IFileSystem& fs, std::u16string_view path,
                 const std::vector<std::uint8_t>& bytes) {
  std::u16string temp(path);
  temp += u".tmp";
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (platform::WriteWholeFile(fs, temp, view) &&
      fs.MoveFileExW(temp, path, platform::MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  fs.DeleteFileW(temp);
  return false;
}

std::optional<std::vector<std::u16string>> LoadList(platform::IFileSystem& fs,
                                                    std::u16string_view path, bool* opened) {
  std::vector<std::uint8_t> bytes;
  const ReadOutcome outcome = ReadFileBytes(fs, path, &bytes);
  *opened = outcome != ReadOutcome::kCannotOpen;
  if (outcome != ReadOutcome::kRead) return std::nullopt;
  return DecodeExclusionFile(bytes);
}

}  // namespace

std::vector<std::uint8_t> EncodeExclusionFile(const std::vector<std::u16string>& entries) {
  ArchiveWriter out;
  const auto count = static_cast<std::uint32_t>(entries.size());
  out.WriteU32(count);
  out.WriteCount(count);
  for (const std::u16string& entry : entries) out.WriteString(entry);
  return out.Take();
}

std::optional<std::vector<std::u16string>> DecodeExclusionFile(
    std::span<const std::uint8_t> bytes) {
  try {
    ArchiveReader in(bytes);
    in.ReadU32();  // the leading count is not trusted; the archive count follows
    const std::uint32_t count = in.ReadCount(kMinArchiveStringBytes);
    std::vector<std::u16string> entries;
    entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) entries.push_back(in.ReadString());
    return entries;
  } catch (const ArchiveError&) {
    return std::nullopt;
  }
}

void CExclusionLists::List::Assign(std::vector<std::u16string> newEntries) {
  entries = std::move(newEntries);
  upper.clear();
  upper.reserve(entries.size());
  for (const std::u16string& e : entries) upper.push_back(ToUpper(e));
}

void CExclusionLists::List::Append(std::u16string entry) {
  upper.push_back(ToUpper(entry));
  entries.push_back(std::move(entry));
}

void CExclusionLists::List::Clear() {
  entries.clear();
  upper.clear();
}

bool CExclusionLists::List::Matches(std::u16string_view upperKey) const {
  // An empty entry would match every key; it never excludes anything.
  return std::any_of(upper.begin(), upper.end(), [&](const std::u16string& e) {
    return !e.empty() && upperKey.find(e) != std::u16string_view::npos;
  });
}

void CExclusionLists::LoadExclusions(platform::IFileSystem& files, std::u16string_view folder) {
  bool opened = false;
  auto entries = LoadList(files, PathIn(folder, kExclusionFileName), &opened);
  if (!opened) return;
  std::lock_guard lock(mutex_);
  if (entries) {
    exclusions_.Assign(std::move(*entries));
  } else {
    exclusions_.Clear();
  }
}

void CExclusionLists::LoadHistoryExclusions(platform::IFileSystem& files,
                                            std::u16string_view folder) {
  {
    std::lock_guard lock(mutex_);
    history_.Clear();
  }
  bool opened = false;
  auto entries = LoadList(files, PathIn(folder, kHistoryExclusionFileName), &opened);
  if (!entries) return;
  std::lock_guard lock(mutex_);
  history_.Assign(std::move(*entries));
}

bool CExclusionLists::SaveExclusions(platform::IFileSystem& files,
                                     std::u16string_view folder) const {
  return ReplaceFile(files, PathIn(folder, kExclusionFileName), EncodeExclusionFile(Exclusions()));
}

bool CExclusionLists::SaveHistoryExclusions(platform::IFileSystem& files,
                                            std::u16string_view folder) const {
  return ReplaceFile(files, PathIn(folder, kHistoryExclusionFileName),
                     EncodeExclusionFile(HistoryExclusions()));
}

bool CExclusionLists::AddExclusion(std::u16string_view path) {
  if (path.empty()) return false;
  std::lock_guard lock(mutex_);
  for (const std::u16string& e : exclusions_.entries) {
    if (EqualsNoCase(e, path)) return false;
  }
  exclusions_.Append(std::u16string(path));
  return true;
}

bool CExclusionLists::RemoveExclusion(std::u16string_view path) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < exclusions_.entries.size(); ++i) {
    if (EqualsNoCase(exclusions_.entries[i], path)) {
      const auto at = static_cast<std::ptrdiff_t>(i);
      exclusions_.entries.erase(exclusions_.entries.begin() + at);
      exclusions_.upper.erase(exclusions_.upper.begin() + at);
      return true;
    }
  }
  return false;
}

bool CExclusionLists::IsExcluded(std::u16string_view key) const {
  const std::u16string upperKey = ToUpper(key);
  std::lock_guard lock(mutex_);
  return exclusions_.Matches(upperKey);
}

bool CExclusionLists::IsHistoryExcluded(std::u16string_view key) const {
  const std::u16string upperKey = ToUpper(key);
  std::lock_guard lock(mutex_);
  return history_.Matches(upperKey);
}

void CExclusionLists::RememberUnfixed(CScanController& controller) {
  std::vector<std::u16string> unfixed;
  for (const CategoryInfo& info : kCategoryTable) {
    CCategory* category = controller.GetCategory(info.bit);
    if (category == nullptr) continue;
    for (std::size_t i = 0; i < category->ProblemCount();) {
      const CProblem* p = category->ProblemAt(i);
      if (p->Selected != 0) {
        unfixed.push_back(p->Key);
        category->RemoveProblemAt(i);
      } else {
        ++i;
      }
    }
  }
  std::lock_guard lock(mutex_);
  for (std::u16string& key : unfixed) history_.Append(std::move(key));
}

NewExclusionEntry CExclusionLists::CheckNewEntry(std::u16string_view root,
                                                 std::u16string_view key) const {
  NewExclusionEntry result;
  const std::u16string_view trimmed = TrimView(key);
  if (trimmed.empty()) {
    result.refusal = u"IDS_NOEMPTY_KEY";
    return result;
  }
  result.candidate = ToUpper(root);
  result.candidate += u'\\';
  result.candidate += ToUpper(trimmed);
  std::lock_guard lock(mutex_);
  for (const std::u16string& e : exclusions_.entries) {
    if (EqualsNoCase(e, result.candidate)) {
      result.refusal = u"IDS_ITEM_ALREADY_EXIST";
      break;
    }
  }
  return result;
}

std::vector<std::u16string> CExclusionLists::Exclusions() const {
  std::lock_guard lock(mutex_);
  return exclusions_.entries;
}

std::vector<std::u16string> CExclusionLists::HistoryExclusions() const {
  std::lock_guard lock(mutex_);
  return history_.entries;
}

void CExclusionLists::SetHistoryExclusions(std::vector<std::u16string> entries) {
  std::lock_guard lock(mutex_);
  history_.Assign(std::move(entries));
}

void AttachExclusionHooks(EngineContext& ctx, const CExclusionLists& lists) {
  ctx.hooks.isExcluded = [&lists](std::u16string_view upperKey) {
    return lists.IsExcluded(upperKey);
  };
  ctx.hooks.isHistoryExcluded = [&lists](std::u16string_view upperKey) {
    return lists.IsHistoryExcluded(upperKey);
  };
}

}  // namespace bc::engine
