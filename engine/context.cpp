#include "engine/context.h"

#include <algorithm>
#include <utility>

#include "engine/category.h"
#include "engine/category_table.h"
#include "engine/messages.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace bc::engine {

namespace {

// Windows paths the engine caches are at most MAX_PATH characters.
constexpr platform::UINT kMaxPath = 260;

std::u16string ReadDirectory(platform::ISystem& system,
                             platform::UINT (platform::ISystem::*call)(std::u16string*,
                                                                       platform::UINT)) {
  std::u16string dir;
  const platform::UINT length = (system.*call)(&dir, kMaxPath);
  if (length == 0 || length >= kMaxPath) return {};
  dir.resize(std::min<std::size_t>(dir.size(), length));
  return dir;
}

}  // namespace

SystemFacts ReadSystemFacts(platform::IPlatform& platform) {
  platform::ISystem& system = platform.System();
  SystemFacts facts;
  platform::BOOL wow64 = 0;
  facts.wow64 = system.IsWow64Process(&wow64) != 0 && wow64 != 0;
  facts.userIsAdmin = system.IsUserAnAdmin() != 0;
  platform::OSVERSIONINFOEXW version;
  if (system.GetVersionExW(&version) != 0) facts.windowsMajorVersion = version.dwMajorVersion;
  facts.systemDirectory = ReadDirectory(system, &platform::ISystem::GetSystemDirectoryW);
  facts.systemWow64Directory = ReadDirectory(system, &platform::ISystem::GetSystemWow64DirectoryW);
  return facts;
}

EngineContext::EngineContext(platform::IPlatform& platform, SystemFacts facts)
    : platform_(platform), facts_(std::move(facts)) {}

platform::IRegistry& EngineContext::Registry() {
  return platform_.Registry();
}

bool EngineContext::IsReportableKey(std::u16string_view lowerKey) const {
  return !hooks.isReportableKey || hooks.isReportableKey(lowerKey);
}

bool EngineContext::IsExcluded(std::u16string_view upperKey) const {
  return hooks.isExcluded && hooks.isExcluded(upperKey);
}

bool EngineContext::IsHistoryExcluded(std::u16string_view upperKey) const {
  return hooks.isHistoryExcluded && hooks.isHistoryExcluded(upperKey);
}

void EngineContext::WriteLogLine(std::u16string_view line) const {
  if (hooks.writeLogLine) hooks.writeLogLine(line);
}

std::u16string EngineContext::LookupText(std::u16string_view key) const {
  return hooks.lookupText ? hooks.lookupText(key) : std::u16string();
}

std::uint32_t EngineContext::EnabledCategories() const {
  return hooks.enabledCategories ? hooks.enabledCategories() : kAllCategories;
}

std::unique_ptr<CCategory> EngineContext::CreateCategory(std::uint32_t bit) {
  if (!hooks.createCategory || FindCategory(bit) == nullptr) return nullptr;
  return hooks.createCategory(bit, *this);
}

void EngineContext::SetStatusText(std::u16string text) {
  std::lock_guard lock(statusLock_);
  statusText_ = std::move(text);
}

std::u16string EngineContext::CopyStatusText() const {
  std::lock_guard lock(statusLock_);
  return statusText_;
}

void EngineContext::PostStatusText(std::u16string text) {
  SetStatusText(std::move(text));
  if (IMessageTarget* window = MainWindow()) {
    window->Post(kMsgStatusText, reinterpret_cast<std::uintptr_t>(&statusText_), 0);
  }
}

bool EngineContext::CountStatusCall() {
  return (statusCalls_.fetch_add(1, std::memory_order_relaxed) + 1) % 27 == 0;
}

}  // namespace bc::engine
