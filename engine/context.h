// The scan engine's process-wide state, held in one object that the program creates once (tests
// create as many as they like): the platform, facts about the system read once at start-up, the
// hooks through which later layers take part in a scan, and the shared scan state.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/entry_types.h"
#include "platform/win32_types.h"

namespace bc::platform {
class IPlatform;
class IRegistry;
}  // namespace bc::platform

namespace bc::engine {

class CCategory;
class IMessageTarget;
class EngineContext;

// Read once per process by the program before the first scan.
struct SystemFacts {
  bool wow64 = false;        // this 32-bit process runs on 64-bit Windows (IsWow64Process)
  bool userIsAdmin = false;  // IsUserAnAdmin: an administrator token (elevated under UAC)
  platform::DWORD windowsMajorVersion = 6;  // 5 XP, 6 Vista and 7
  std::u16string systemDirectory;           // GetSystemDirectoryW, without trailing backslash
  std::u16string systemWow64Directory;      // GetSystemWow64DirectoryW; empty on 32-bit Windows
};

// The facts of the process that platform reports (IsWow64Process, IsUserAnAdmin, GetVersionExW,
// GetSystemDirectoryW, GetSystemWow64DirectoryW); a call that fails leaves the default.
SystemFacts ReadSystemFacts(platform::IPlatform& platform);

// What later layers plug into a scan. Every hook may stay empty; the engine then behaves as if
// the list it stands for were empty.
struct EngineHooks {
  // Built-in key skip list: may this lower-cased key (or value name) be reported? Empty: yes.
  std::function<bool(std::u16string_view lowerKey)> isReportableKey;
  // User exclusion list, given the upper-cased key. Empty: nothing excluded.
  std::function<bool(std::u16string_view upperKey)> isExcluded;
  // History-list exclusions, given the upper-cased key. Empty: nothing excluded.
  std::function<bool(std::u16string_view upperKey)> isHistoryExcluded;
  // One activity-log line. Empty: not logged.
  std::function<void(std::u16string_view line)> writeLogLine;
  // Localized text of a key (section "RESOURCESTRING"). Empty: every text is empty.
  TextLookup lookupText;
  // The skip-empty-keys setting ("SetChkSkipEmptyKeys"). Empty: on, so no key is checked.
  std::function<bool()> skipEmptyKeys;
  // Shows a key (full path) and value in a registry viewer; false when none could be shown.
  // Empty: nothing is shown.
  std::function<bool(std::u16string_view fullPath, std::u16string_view valueName)>
      showInRegistryEditor;
  // The stored category selection ("SelectedCategories"). Empty: all fourteen (0x3FFF).
  std::function<std::uint32_t()> enabledCategories;
  // The category object of a bit. Empty, or nullptr for a bit: no object for that bit.
  std::function<std::unique_ptr<CCategory>(std::uint32_t bit, EngineContext& ctx)> createCategory;
};

class EngineContext {
 public:
  explicit EngineContext(platform::IPlatform& platform, SystemFacts facts = {});
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;

  platform::IPlatform& Platform() { return platform_; }
  platform::IRegistry& Registry();
  const SystemFacts& Facts() const { return facts_; }

  EngineHooks hooks;

  // Hook calls with their defaults applied.
  bool IsReportableKey(std::u16string_view lowerKey) const;
  bool IsExcluded(std::u16string_view upperKey) const;
  bool IsHistoryExcluded(std::u16string_view upperKey) const;
  void WriteLogLine(std::u16string_view line) const;
  std::u16string LookupText(std::u16string_view key) const;
  std::uint32_t EnabledCategories() const;
  std::unique_ptr<CCategory> CreateCategory(std::uint32_t bit);

  // Shared scan state, read across threads without locks.
  std::atomic<bool> scanRunning{false};
  std::atomic<int> currentScanGroup{0};  // 1-4 while a scan runs

  // The window that receives the status messages (0x4AA); may be null.
  void SetMainWindow(IMessageTarget* window) { mainWindow_.store(window); }
  IMessageTarget* MainWindow() const { return mainWindow_.load(); }

  // The shared status text, replaced and copied under its lock.
  void SetStatusText(std::u16string text);
  std::u16string CopyStatusText() const;
  // Replaces the status text and posts 0x4AA to the main window.
  void PostStatusText(std::u16string text);
  // Counts a status call; true for every 27th call of the process.
  bool CountStatusCall();

 private:
  platform::IPlatform& platform_;
  SystemFacts facts_;
  std::atomic<IMessageTarget*> mainWindow_{nullptr};
  mutable std::mutex statusLock_;
  std::u16string statusText_;
  std::atomic<std::uint64_t> statusCalls_{0};
};

}  // namespace bc::engine
