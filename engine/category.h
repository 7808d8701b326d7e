// Base of the fourteen scan categories: the category's problem list, its connection to the stop
// event and the undo recorder, and the services every checker uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/problem.h"
#include "platform/win32_types.h"

namespace bc::engine {

class CScanController;
class EngineContext;
class ManualResetEvent;

class CCategory {
 public:
  // Scan's answer when it stopped because the stop event was signalled.
  static constexpr int kStopped = 2;

  explicit CCategory(EngineContext& ctx);
  virtual ~CCategory();
  CCategory(const CCategory&) = delete;
  CCategory& operator=(const CCategory&) = delete;

  // Empty-key check of a key and, with recurse, its subtree: 1 when a stop was requested or the
  // key could not be opened, else 0. Reports empty keys as entry type 1 (empty_key.cpp).
  virtual int CheckEmptyKey(platform::HKEY root, const std::u16string& subKey, bool use64BitView,
                            const std::vector<std::u16string>& skipFragments, bool recurse);
  // The checker. Returns kStopped when it stopped early, anything else when it ran to the end.
  virtual int Scan() = 0;
  // Set-up that Scan calls first; its result is informational.
  virtual int Prepare() = 0;

  // The single gate through which findings become problems. Returns the new index, or -1 when
  // the finding was filtered out. As administrator, a key that does not exist yet but can be
  // created for writing is created by this test and kept.
  int AddProblem(std::int32_t entryType, std::u16string key, std::u16string valueName,
                 std::u16string valueData, std::u16string alternateKey, std::int32_t is32BitEntry);
  // Appends a display line to the problem at index; ignored when out of range.
  void AddProblemText(std::u16string text, int index);
  bool IsStopRequested() const;
  // Status line for the scan page, shown once in 27 calls; upper-cased unless keepCase.
  void ReportStatus(std::u16string_view text, bool keepCase);
  // True when this category already holds a problem with exactly this Key and EntryType.
  bool HasProblem(std::u16string_view key, std::int32_t entryType) const;
  // Sorts by display line 0 ignoring case (quicksort; equal lines keep no fixed order).
  void SortProblems();

  // The problem list, in order of discovery. Key and Is32BitEntry of a listed problem stay as
  // they were added: the duplicate rule indexes the list by them.
  std::size_t ProblemCount() const { return problems_.size(); }
  CProblem* ProblemAt(std::size_t index) const;
  const std::vector<std::unique_ptr<CProblem>>& Problems() const { return problems_; }
  // Removes (and destroys) the problem at index, as the repair does with fixed records.
  void RemoveProblemAt(std::size_t index);
  // Appends a problem read back from the results file, bypassing the gate.
  void AdoptProblem(std::unique_ptr<CProblem> problem);

  // Wiring done by the scan controller.
  void AttachStopEvent(const ManualResetEvent* stopEvent) { stopEvent_ = stopEvent; }
  void AttachUndoRecorder(CUndoRecorder* recorder) { undoRecorder_ = recorder; }
  void AttachController(const CScanController* controller) { controller_ = controller; }
  CUndoRecorder* UndoRecorder() const { return undoRecorder_; }

  EngineContext& Context() const { return ctx_; }
  // The Windows system directory with a trailing backslash.
  const std::u16string& SystemDirectory() const { return systemDirectory_; }
  // The 32-bit system directory of 64-bit Windows; empty on 32-bit Windows.
  const std::u16string& SystemWow64Directory() const;

 private:
  bool IsDuplicate(const CProblem& candidate, std::size_t identity) const;
  void IndexProblem(const CProblem& problem);
  void UnindexProblem(const CProblem& problem);
  bool OpensOrCreatesForWriting(std::u16string_view key, platform::REGSAM access) const;

  EngineContext& ctx_;
  const ManualResetEvent* stopEvent_ = nullptr;
  CUndoRecorder* undoRecorder_ = nullptr;
  const CScanController* controller_ = nullptr;
  std::vector<std::unique_ptr<CProblem>> problems_;
  // The listed problems with a key, by a hash of what the duplicate rule compares first
  // (normalised key and view): a new finding is compared with the few problems sharing it rather
  // than with every problem found so far. Follows every change of problems_.
  std::unordered_multimap<std::size_t, const CProblem*> duplicateIndex_;
  std::u16string systemDirectory_;
};

}  // namespace bc::engine
