#include "engine/category.h"

#include <utility>

#include "base/format.h"
#include "base/text.h"
#include "engine/category_table.h"
#include "engine/context.h"
#include "engine/entry_types.h"
#include "engine/reg_paths.h"
#include "engine/scan_controller.h"
#include "engine/stop_event.h"
#include "platform/registry.h"

namespace bc::engine {

namespace {

constexpr std::int32_t kShortcutType = 34;
constexpr std::int32_t kStartMenuShortcutType = 40;
constexpr std::int32_t kSharedFileType = 33;

// The duplicate rule treats HKEY_CLASSES_ROOT as the machine's classes key.
constexpr std::u16string_view kClassesRootLower = u"hkey_classes_root";
constexpr std::u16string_view kClassesRootEquivalent = u"hkey_local_machine\\software\\classes";

std::u16string NormalizeKeyForDuplicates(std::u16string_view key) {
  std::u16string lower = ToLower(key);
  if (lower.starts_with(kClassesRootLower)) {
    lower.replace(0, kClassesRootLower.size(), kClassesRootEquivalent);
  }
  return lower;
}

bool StartsWithClassesRoot(std::u16string_view key) {
  if (key.size() < kClassesRootLower.size()) return false;
  for (std::size_t i = 0; i < kClassesRootLower.size(); ++i) {
    if (ToLower(key[i]) != kClassesRootLower[i]) return false;
  }
  return true;
}

// NormalizeKeyForDuplicates(key) == normalized, without building the left side.
bool NormalizedKeyEquals(std::u16string_view key, std::u16string_view normalized) {
  if (StartsWithClassesRoot(key)) {
    if (!normalized.starts_with(kClassesRootEquivalent)) return false;
    key.remove_prefix(kClassesRootLower.size());
    normalized.remove_prefix(kClassesRootEquivalent.size());
  }
  if (key.size() != normalized.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (ToLower(key[i]) != normalized[i]) return false;
  }
  return true;
}

// FNV-1a over NormalizeKeyForDuplicates(key) and the view, without building the normalised key.
std::size_t DuplicateIdentity(std::u16string_view key, std::int32_t is32BitEntry) {
  std::uint64_t h = 14695981039346656037ull;
  const auto feed = [&h](std::uint32_t unit) { h = (h ^ unit) * 1099511628211ull; };
  if (StartsWithClassesRoot(key)) {
    for (char16_t c : kClassesRootEquivalent) feed(c);
    key.remove_prefix(kClassesRootLower.size());
  }
  for (char16_t c : key) feed(ToLower(c));
  feed(static_cast<std::uint32_t>(is32BitEntry));
  return static_cast<std::size_t>(h);
}

void RegisterLine(const EngineContext& ctx, const CProblem& p) {
  if (p.EntryType == kShortcutType) {
    ctx.WriteLogLine(Format(u"Invalid Shortcut :\r\n EntryType:%d\r\nLink:%s", p.EntryType, p.Key));
    return;
  }
  ctx.WriteLogLine(Format(
      u"Invalid Entry Found :\r\n EntryType:%d\r\n Key:%s\r\n ValueName:%s \r\n ValueData:%s "
      u"\r\n AlternateKey:%s \r\n 32BitEntry:%d",
      p.EntryType, p.Key, p.ValueName, p.ValueData, p.AlternateKey, p.Is32BitEntry));
}

std::u16string_view Line0(const std::unique_ptr<CProblem>& p) {
  return p->DisplayLine(0);
}

}  // namespace

CCategory::CCategory(EngineContext& ctx) : ctx_(ctx) {
  systemDirectory_ = ctx.Facts().systemDirectory;
  if (!systemDirectory_.empty() && systemDirectory_.back() != u'\\') systemDirectory_ += u'\\';
}

CCategory::~CCategory() = default;

const std::u16string& CCategory::SystemWow64Directory() const {
  return ctx_.Facts().systemWow64Directory;
}

int CCategory::AddProblem(std::int32_t entryType, std::u16string key, std::u16string valueName,
                          std::u16string valueData, std::u16string alternateKey,
                          std::int32_t is32BitEntry) {
  // Built-in skip list, before any record exists. Shortcut findings carry a file path.
  if (entryType != kShortcutType && !ctx_.IsReportableKey(ToLower(key))) return -1;

  auto problem = std::make_unique<CProblem>();
  problem->EntryType = entryType;
  problem->Key = std::move(key);
  problem->ValueName = std::move(valueName);
  problem->ValueData = std::move(valueData);
  problem->AlternateKey = std::move(alternateKey);
  problem->Is32BitEntry = is32BitEntry;
  const CProblem& p = *problem;

  // Shared files name the file in the value name.
  if (entryType == kSharedFileType && !ctx_.IsReportableKey(ToLower(p.ValueName))) return -1;

  const platform::REGSAM access = WithView(kWriteAccess, IsWow64(ctx_), is32BitEntry);
  const bool registryFinding = entryType != kShortcutType && entryType != kStartMenuShortcutType;
  if (registryFinding) {
    const auto split = SplitFullPath(p.Key);
    if (!split) return -1;
    if (IsKeyProtected(ctx_, split->root, split->subKey, access)) return -1;
  }

  const std::u16string upperKey = ToUpper(p.Key);
  if (ctx_.IsExcluded(upperKey)) return -1;

  const std::size_t identity = DuplicateIdentity(p.Key, p.Is32BitEntry);
  if (IsDuplicate(p, identity)) return -1;

  if (IsHistoryEntryType(entryType) && ctx_.IsHistoryExcluded(upperKey)) return -1;

  if (registryFinding && !IsHistoryEntryType(entryType) && IsUserAnAdmin(ctx_)) {
    const auto split = SplitFullPath(p.Key);
    if (!split) return -1;
    if (IsKeyProtected(ctx_, split->root, split->subKey, access)) return -1;
    if (!OpensOrCreatesForWriting(p.Key, access)) return -1;
  }

  problem->UndoRecorder = undoRecorder_;
  RegisterLine(ctx_, p);
  problems_.push_back(std::move(problem));
  if (!p.Key.empty()) duplicateIndex_.emplace(identity, &p);
  return static_cast<int>(problems_.size() - 1);
}

bool CCategory::OpensOrCreatesForWriting(std::u16string_view key, platform::REGSAM access) const {
  const auto split = SplitFullPath(key);
  if (!split) return false;
  platform::IRegistry& reg = ctx_.Registry();
  platform::HKEY handle = platform::kNullKey;
  if (reg.RegOpenKeyExW(split->root, split->subKey, 0, access, &handle) !=
          platform::ERROR_SUCCESS &&
      reg.RegCreateKeyExW(split->root, split->subKey, platform::REG_OPTION_NON_VOLATILE, access,
                          &handle, nullptr) != platform::ERROR_SUCCESS) {
    return false;
  }
  reg.RegCloseKey(handle);
  return true;
}

bool CCategory::IsDuplicate(const CProblem& candidate, std::size_t identity) const {
  if (candidate.Key.empty()) return false;
  std::u16string normalized;  // built at the first problem that shares the identity
  const auto matches = [&](const CCategory& category) {
    const auto [first, last] = category.duplicateIndex_.equal_range(identity);
    for (auto it = first; it != last; ++it) {
      const CProblem& existing = *it->second;
      if (existing.Is32BitEntry != candidate.Is32BitEntry) continue;
      if (normalized.empty()) normalized = NormalizeKeyForDuplicates(candidate.Key);
      if (!NormalizedKeyEquals(existing.Key, normalized)) continue;
      if (EqualsNoCase(existing.ValueName, candidate.ValueName) &&
          EqualsNoCase(existing.ValueData, candidate.ValueData) &&
          EqualsNoCase(existing.AlternateKey, candidate.AlternateKey)) {
        return true;
      }
    }
    return false;
  };
  bool searchedSelf = false;
  if (controller_ != nullptr) {
    for (const CategoryInfo& info : kCategoryTable) {
      const CCategory* category = controller_->GetCategory(info.bit);
      if (category == nullptr) continue;
      searchedSelf = searchedSelf || category == this;
      if (matches(*category)) return true;
    }
  }
  // A category outside a controller still never holds the same finding twice.
  return !searchedSelf && matches(*this);
}

void CCategory::IndexProblem(const CProblem& problem) {
  if (problem.Key.empty()) return;
  duplicateIndex_.emplace(DuplicateIdentity(problem.Key, problem.Is32BitEntry), &problem);
}

void CCategory::UnindexProblem(const CProblem& problem) {
  if (problem.Key.empty()) return;
  const auto [first, last] =
      duplicateIndex_.equal_range(DuplicateIdentity(problem.Key, problem.Is32BitEntry));
  for (auto it = first; it != last; ++it) {
    if (it->second == &problem) {
      duplicateIndex_.erase(it);
      return;
    }
  }
}

void CCategory::AddProblemText(std::u16string text, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= problems_.size()) return;
  problems_[static_cast<std::size_t>(index)]->DisplayTexts.push_back(std::move(text));
}

bool CCategory::IsStopRequested() const {
  return stopEvent_ != nullptr && stopEvent_->IsSet();
}

void CCategory::ReportStatus(std::u16string_view text, bool keepCase) {
  if (!ctx_.CountStatusCall()) return;
  ctx_.PostStatusText(keepCase ? std::u16string(text) : ToUpper(text));
}

bool CCategory::HasProblem(std::u16string_view key, std::int32_t entryType) const {
  for (const auto& p : problems_) {
    if (p->Key == key && p->EntryType == entryType) return true;
  }
  return false;
}

void CCategory::SortProblems() {
  if (problems_.size() < 2) return;
  // Hoare quicksort with the middle element as pivot. The smaller side is sorted by recursion
  // and the larger one by the loop, which gives the same order as sorting both sides
  // recursively while keeping the stack shallow.
  const auto sort = [this](auto& self, std::ptrdiff_t low, std::ptrdiff_t high) -> void {
    while (low < high) {
      std::ptrdiff_t i = low;
      std::ptrdiff_t j = high;
      const std::u16string pivot(Line0(problems_[static_cast<std::size_t>((low + high) / 2)]));
      while (i <= j) {
        while (CompareNoCase(Line0(problems_[static_cast<std::size_t>(i)]), pivot) < 0) ++i;
        while (CompareNoCase(Line0(problems_[static_cast<std::size_t>(j)]), pivot) > 0) --j;
        if (i <= j) {
          std::swap(problems_[static_cast<std::size_t>(i)], problems_[static_cast<std::size_t>(j)]);
          ++i;
          --j;
        }
      }
      if (j - low < high - i) {
        if (low < j) self(self, low, j);
        low = i;
      } else {
        if (i < high) self(self, i, high);
        high = j;
      }
    }
  };
  sort(sort, 0, static_cast<std::ptrdiff_t>(problems_.size()) - 1);
}

CProblem* CCategory::ProblemAt(std::size_t index) const {
  return index < problems_.size() ? problems_[index].get() : nullptr;
}

void CCategory::RemoveProblemAt(std::size_t index) {
  if (index >= problems_.size()) return;
  UnindexProblem(*problems_[index]);
  problems_.erase(problems_.begin() + static_cast<std::ptrdiff_t>(index));
}

void CCategory::AdoptProblem(std::unique_ptr<CProblem> problem) {
  if (!problem) return;
  problems_.push_back(std::move(problem));
  IndexProblem(*problems_.back());
}

}  // namespace bc::engine
