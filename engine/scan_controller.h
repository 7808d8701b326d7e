// The scan controller: owns the category objects of the current scan, the stop event and the
// progress targets, and runs the scan thread. One per program, living from start-up to exit.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/category_table.h"
#include "engine/problem.h"
#include "engine/stop_event.h"

namespace bc::engine {

class CCategory;
class EngineContext;
class IMessageTarget;
class ICleaningProgress;  // the cleaning run's progress bar (repair layer)
class ICleaningDialog;    // the dialog the repair engine shows while it works (repair layer)

class CScanController {
 public:
  explicit CScanController(EngineContext& ctx);
  // Stops and waits for a running scan thread.
  ~CScanController();
  CScanController(const CScanController&) = delete;
  CScanController& operator=(const CScanController&) = delete;

  EngineContext& Context() const { return ctx_; }

  // Replaces the category objects by one per bit of mask (bit order), each attached to the stop
  // event and the undo recorder; resets the stop event and keeps count. False, changing nothing,
  // while the scan thread runs.
  bool CreateCategories(std::uint32_t mask, int count);
  // As CreateCategories for the results-file reader: no stop event or undo recorder attached,
  // and the stop event is left as it is.
  bool CreateCategoriesUnattached(std::uint32_t mask);
  // Destroys all category objects. False, changing nothing, while the scan thread runs.
  bool DeleteCategories();

  // The object of a bit; nullptr when absent or when bit is not one of the fourteen bits.
  CCategory* GetCategory(std::uint32_t bit) const;
  std::size_t TotalProblems() const;
  std::size_t SelectedProblems() const;
  std::uint32_t CategoryMask() const { return categoryMask_; }
  int CategoryCount() const { return categoryCount_; }

  // Recomputes mask and count from the existing objects and attaches the undo recorder again.
  void PrepareForCleaning();
  // Clears the notify window, the cleaning progress bar and the cleaning dialog.
  void ResetTargets();

  ManualResetEvent& StopEvent() { return stopEvent_; }
  void RequestStop() { stopEvent_.Set(); }

  void SetNotifyWindow(IMessageTarget* window) { notifyWindow_.store(window); }
  IMessageTarget* NotifyWindow() const { return notifyWindow_.load(); }
  void SetCleaningProgress(ICleaningProgress* progress) { cleaningProgress_.store(progress); }
  ICleaningProgress* CleaningProgress() const { return cleaningProgress_.load(); }
  void SetCleaningDialog(ICleaningDialog* dialog) { cleaningDialog_.store(dialog); }
  ICleaningDialog* CleaningDialog() const { return cleaningDialog_.load(); }
  // The scan's undo recorder, not owned.
  void SetUndoRecorder(CUndoRecorder* recorder) { undoRecorder_ = recorder; }
  CUndoRecorder* UndoRecorder() const { return undoRecorder_; }

  // Starts the scan thread over the existing category objects; sets the scan-running flag. False
  // when a scan thread is still running.
  bool StartScan();
  // True from StartScan until the thread has finished its last step.
  bool IsScanThreadRunning() const { return threadActive_.load(); }
  // Waits for the scan thread to end (no-op when none was started).
  void WaitForScanThread();
  // The scan thread's body, run on the calling thread. Returns the last category result
  // (CCategory::kStopped when the scan was stopped).
  int RunScan();

 private:
  bool ReplaceCategories(std::uint32_t mask, bool attach);

  EngineContext& ctx_;
  ManualResetEvent stopEvent_;
  std::atomic<IMessageTarget*> notifyWindow_{nullptr};
  std::atomic<ICleaningProgress*> cleaningProgress_{nullptr};
  std::atomic<ICleaningDialog*> cleaningDialog_{nullptr};
  CUndoRecorder* undoRecorder_ = nullptr;
  std::array<std::unique_ptr<CCategory>, kCategoryCount> categories_;
  std::uint32_t categoryMask_ = 0;
  int categoryCount_ = 0;
  std::thread thread_;
  std::atomic<bool> threadActive_{false};
};

}  // namespace bc::engine
