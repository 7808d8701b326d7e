// Test doubles for the scan engine: a recording message target, a mock registry behind a
// minimal platform, and a category that reports what the test tells it to.
#pragma once

#include <gmock/gmock.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace bc::engine::test {

// Records every message as "S405 0 0" (sent) or "P401 1 0" (posted); a status message records
// the shared status text as "P4AA <text>".
class RecordingTarget : public IMessageTarget {
 public:
  explicit RecordingTarget(const EngineContext& ctx) : ctx_(ctx) {}
  void Send(std::uint32_t msg, std::uintptr_t w, std::intptr_t l) override {
    Record('S', msg, w, l);
    if (onSend) onSend(msg, w);
  }
  void Post(std::uint32_t msg, std::uintptr_t w, std::intptr_t l) override {
    Record('P', msg, w, l);
  }
  std::vector<std::string> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::function<void(std::uint32_t msg, std::uintptr_t wParam)> onSend;

 private:
  void Record(char kind, std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
    char head[64];
    std::string line;
    if (msg == kMsgStatusText) {
      std::snprintf(head, sizeof head, "%c%X ", kind, msg);
      line = head + Utf16ToUtf8(ctx_.CopyStatusText());
    } else {
      std::snprintf(head, sizeof head, "%c%X %llu %lld", kind, msg,
                    static_cast<unsigned long long>(w), static_cast<long long>(l));
      line = head;
    }
    std::lock_guard lock(mutex_);
    messages_.push_back(line);
  }
  const EngineContext& ctx_;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

class MockRegistry : public platform::IRegistry {
 public:
  using HKEY = platform::HKEY;
  using DWORD = platform::DWORD;
  using LSTATUS = platform::LSTATUS;
  using REGSAM = platform::REGSAM;
  MOCK_METHOD(LSTATUS, RegOpenKeyExW, (HKEY, std::u16string_view, DWORD, REGSAM, HKEY*),
              (override));
  MOCK_METHOD(LSTATUS, RegCreateKeyExW, (HKEY, std::u16string_view, DWORD, REGSAM, HKEY*, DWORD*),
              (override));
  MOCK_METHOD(LSTATUS, RegCloseKey, (HKEY), (override));
  MOCK_METHOD(LSTATUS, RegQueryInfoKeyW, (HKEY, platform::RegKeyInfo*), (override));
  MOCK_METHOD(LSTATUS, RegEnumKeyExW, (HKEY, DWORD, char16_t*, DWORD*), (override));
  MOCK_METHOD(LSTATUS, RegEnumValueW,
              (HKEY, DWORD, char16_t*, DWORD*, DWORD*, std::uint8_t*, DWORD*), (override));
  MOCK_METHOD(LSTATUS, RegQueryValueExW, (HKEY, std::u16string_view, DWORD*, std::uint8_t*, DWORD*),
              (override));
  MOCK_METHOD(LSTATUS, RegSetValueExW,
              (HKEY, std::u16string_view, DWORD, const std::uint8_t*, DWORD), (override));
  MOCK_METHOD(LSTATUS, RegDeleteValueW, (HKEY, std::u16string_view), (override));
  MOCK_METHOD(LSTATUS, RegDeleteKeyW, (HKEY, std::u16string_view), (override));
  MOCK_METHOD(LSTATUS, RegDeleteKeyExW, (HKEY, std::u16string_view, REGSAM), (override));
  MOCK_METHOD(LSTATUS, SHDeleteKeyW, (HKEY, std::u16string_view), (override));
  MOCK_METHOD(LSTATUS, RegFlushKey, (HKEY), (override));
  MOCK_METHOD(LSTATUS, RegSaveKeyW, (HKEY, std::u16string_view), (override));
  MOCK_METHOD(LSTATUS, RegReplaceKeyW,
              (HKEY, std::u16string_view, std::u16string_view, std::u16string_view), (override));
  MOCK_METHOD(LSTATUS, RegLoadKeyW, (HKEY, std::u16string_view, std::u16string_view), (override));
  MOCK_METHOD(LSTATUS, RegUnLoadKeyW, (HKEY, std::u16string_view), (override));
  MOCK_METHOD(bool, HasSfcIsKeyProtected, (), (const, override));
  MOCK_METHOD(platform::BOOL, SfcIsKeyProtected, (HKEY, std::u16string_view, REGSAM), (override));
};

// A platform that only has a registry; the engine code under test asks for nothing else.
class RegistryOnlyPlatform : public platform::IPlatform {
 public:
  explicit RegistryOnlyPlatform(platform::IRegistry& reg) : reg_(reg) {}
  platform::IRegistry& Registry() override { return reg_; }
  platform::IFileSystem& Files() override { Unexpected("Files"); }
  platform::IShell& Shell() override { Unexpected("Shell"); }
  platform::ISystem& System() override { Unexpected("System"); }
  platform::IProcesses& Processes() override { Unexpected("Processes"); }

 private:
  [[noreturn]] static void Unexpected(const char* what) {
    std::fprintf(stderr, "unexpected use of the platform's %s\n", what);
    std::abort();
  }
  platform::IRegistry& reg_;
};

// Reports what its scan function does; counts its scans.
class TestCategory : public CCategory {
 public:
  using ScanFn = std::function<int(TestCategory&)>;
  TestCategory(EngineContext& ctx, std::uint32_t bit, ScanFn scan)
      : CCategory(ctx), bit_(bit), scan_(std::move(scan)) {}
  int Scan() override {
    ++scans;
    seenGroup = Context().currentScanGroup.load();
    seenRunning = Context().scanRunning.load();
    Prepare();
    return scan_ ? scan_(*this) : 0;
  }
  int Prepare() override { return 1; }
  std::uint32_t Bit() const { return bit_; }

  int scans = 0;
  int seenGroup = 0;
  bool seenRunning = false;

 private:
  std::uint32_t bit_;
  ScanFn scan_;
};

}  // namespace bc::engine::test
