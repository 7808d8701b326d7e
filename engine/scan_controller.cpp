#include "engine/scan_controller.h"

#include "engine/category.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/reg_paths.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace bc::engine {

namespace {

std::size_t IndexOfBit(std::uint32_t bit) {
  const CategoryInfo* info = FindCategory(bit);
  return info ? static_cast<std::size_t>(info->index) : kCategoryCount;
}

}  // namespace

CScanController::CScanController(EngineContext& ctx) : ctx_(ctx) {}

CScanController::~CScanController() {
  stopEvent_.Set();
  WaitForScanThread();
}

bool CScanController::ReplaceCategories(std::uint32_t mask, bool attach) {
  if (IsScanThreadRunning()) return false;
  for (auto& category : categories_) category.reset();
  categoryMask_ = 0;
  for (const CategoryInfo& info : kCategoryTable) {
    if ((mask & info.bit) == 0) continue;
    std::unique_ptr<CCategory> category = ctx_.CreateCategory(info.bit);
    if (!category) continue;
    category->AttachController(this);
    if (attach) {
      category->AttachStopEvent(&stopEvent_);
      category->AttachUndoRecorder(undoRecorder_);
    }
    categoryMask_ |= info.bit;
    categories_[static_cast<std::size_t>(info.index)] = std::move(category);
  }
  return true;
}

bool CScanController::CreateCategories(std::uint32_t mask, int count) {
  if (IsScanThreadRunning()) return false;
  stopEvent_.Reset();
  ReplaceCategories(mask, true);
  categoryCount_ = count;
  return true;
}

bool CScanController::CreateCategoriesUnattached(std::uint32_t mask) {
  if (!ReplaceCategories(mask, false)) return false;
  categoryCount_ = 0;
  for (const auto& category : categories_) categoryCount_ += category ? 1 : 0;
  return true;
}

bool CScanController::DeleteCategories() {
  if (IsScanThreadRunning()) return false;
  for (auto& category : categories_) category.reset();
  categoryMask_ = 0;
  categoryCount_ = 0;
  return true;
}

CCategory* CScanController::GetCategory(std::uint32_t bit) const {
  const std::size_t index = IndexOfBit(bit);
  return index < kCategoryCount ? categories_[index].get() : nullptr;
}

std::size_t CScanController::TotalProblems() const {
  std::size_t total = 0;
  for (const auto& category : categories_) {
    if (category) total += category->ProblemCount();
  }
  return total;
}

std::size_t CScanController::SelectedProblems() const {
  std::size_t selected = 0;
  for (const auto& category : categories_) {
    if (!category) continue;
    for (const auto& problem : category->Problems()) selected += problem->Selected != 0 ? 1 : 0;
  }
  return selected;
}

void CScanController::PrepareForCleaning() {
  categoryMask_ = 0;
  categoryCount_ = 0;
  for (const CategoryInfo& info : kCategoryTable) {
    CCategory* category = categories_[static_cast<std::size_t>(info.index)].get();
    if (category == nullptr) continue;
    categoryMask_ |= info.bit;
    ++categoryCount_;
    category->AttachUndoRecorder(undoRecorder_);
  }
}

void CScanController::ResetTargets() {
  notifyWindow_.store(nullptr);
  cleaningProgress_.store(nullptr);
  cleaningDialog_.store(nullptr);
}

bool CScanController::StartScan() {
  if (IsScanThreadRunning()) return false;
  if (thread_.joinable()) thread_.join();
  ctx_.scanRunning.store(true);
  threadActive_.store(true);
  thread_ = std::thread([this] {
    RunScan();
    threadActive_.store(false);
  });
  return true;
}

void CScanController::WaitForScanThread() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

int CScanController::RunScan() {
  // Categories look at system files by their native paths.
  platform::Wow64RedirectionValue redirection = nullptr;
  const bool redirectionOff =
      IsWow64(ctx_) && ctx_.Platform().System().Wow64DisableWow64FsRedirection(&redirection) != 0;
  ctx_.scanRunning.store(true);
  const std::uint32_t enabled = ctx_.EnabledCategories();

  int result = 0;
  for (const std::uint32_t bit : kScanOrder) {
    const CategoryInfo* info = FindCategory(bit);
    ctx_.currentScanGroup.store(info->scanGroup);
    if ((enabled & bit) != 0) {
      CCategory* category = GetCategory(bit);
      if (category == nullptr) {
        result = 0;
      } else if (stopEvent_.IsSet()) {
        result = CCategory::kStopped;
      } else {
        IMessageTarget* window = NotifyWindow();
        if (window) window->Send(kMsgBeforeCategory, 0, 0);
        if ((window = NotifyWindow())) window->Send(kMsgCategoryStart, bit, 1);
        result = category->Scan();
        if (result != CCategory::kStopped && (window = NotifyWindow())) {
          window->Send(kMsgCategoryEnd, bit, 1);
        }
      }
    }
    ctx_.PostStatusText({});
    if (result == CCategory::kStopped) break;
  }

  ctx_.scanRunning.store(false);
  if (IMessageTarget* window = NotifyWindow()) {
    window->Post(result == CCategory::kStopped ? kMsgScanStopped : kMsgScanFinished, 1, 0);
  }
  // Matters only when the scan ran on a thread that lives on (a headless caller).
  if (redirectionOff) ctx_.Platform().System().Wow64RevertWow64FsRedirection(redirection);
  return result;
}

}  // namespace bc::engine
