// A registry that refuses every open of chosen HKEY_CLASSES_ROOT keys, whatever access is asked,
// as a key whose access list denies the user does (the simulated machine can only deny writing),
// and a scan context over it that shares everything else with a ScanSession.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "engine/context.h"
#include "engine/file_refs.h"
#include "engine/skip_lists.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "tests/categories/category_fixture.h"

namespace bc::categories::testing {

class UnreadableKeysRegistry final : public platform::IRegistry {
 public:
  using HKEY = platform::HKEY;
  using DWORD = platform::DWORD;
  using LSTATUS = platform::LSTATUS;
  using REGSAM = platform::REGSAM;

  // keys: paths below HKEY_CLASSES_ROOT, in any letter case.
  UnreadableKeysRegistry(platform::IRegistry& inner, std::vector<std::u16string> keys)
      : inner_(inner), keys_(std::move(keys)) {}

  LSTATUS RegOpenKeyExW(HKEY key, std::u16string_view subKey, DWORD options, REGSAM sam,
                        HKEY* result) override {
    if (key == platform::HKEY_CLASSES_ROOT) {
      for (const auto& denied : keys_) {
        if (EqualsNoCase(subKey, denied)) {
          *result = platform::kNullKey;
          return platform::ERROR_ACCESS_DENIED;
        }
      }
    }
    return inner_.RegOpenKeyExW(key, subKey, options, sam, result);
  }
  LSTATUS RegCreateKeyExW(HKEY key, std::u16string_view subKey, DWORD options, REGSAM sam,
                          HKEY* result, DWORD* disposition) override {
    return inner_.RegCreateKeyExW(key, subKey, options, sam, result, disposition);
  }
  LSTATUS RegCloseKey(HKEY key) override { return inner_.RegCloseKey(key); }
  LSTATUS RegQueryInfoKeyW(HKEY key, platform::RegKeyInfo* info) override {
    return inner_.RegQueryInfoKeyW(key, info);
  }
  LSTATUS RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* cchName) override {
    return inner_.RegEnumKeyExW(key, index, name, cchName);
  }
  LSTATUS RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* cchName, DWORD* type,
                        std::uint8_t* data, DWORD* cbData) override {
    return inner_.RegEnumValueW(key, index, name, cchName, type, data, cbData);
  }
  LSTATUS RegQueryValueExW(HKEY key, std::u16string_view valueName, DWORD* type, std::uint8_t* data,
                           DWORD* cbData) override {
    return inner_.RegQueryValueExW(key, valueName, type, data, cbData);
  }
  LSTATUS RegSetValueExW(HKEY key, std::u16string_view valueName, DWORD type,
                         const std::uint8_t* data, DWORD cbData) override {
    return inner_.RegSetValueExW(key, valueName, type, data, cbData);
  }
  LSTATUS RegDeleteValueW(HKEY key, std::u16string_view valueName) override {
    return inner_.RegDeleteValueW(key, valueName);
  }
  LSTATUS RegDeleteKeyW(HKEY key, std::u16string_view subKey) override {
    return inner_.RegDeleteKeyW(key, subKey);
  }
  LSTATUS RegDeleteKeyExW(HKEY key, std::u16string_view subKey, REGSAM samDesired) override {
    return inner_.RegDeleteKeyExW(key, subKey, samDesired);
  }
  LSTATUS SHDeleteKeyW(HKEY key, std::u16string_view subKey) override {
    return inner_.SHDeleteKeyW(key, subKey);
  }
  LSTATUS RegFlushKey(HKEY key) override { return inner_.RegFlushKey(key); }
  LSTATUS RegSaveKeyW(HKEY key, std::u16string_view file) override {
    return inner_.RegSaveKeyW(key, file);
  }
  LSTATUS RegReplaceKeyW(HKEY key, std::u16string_view subKey, std::u16string_view newFile,
                         std::u16string_view oldFile) override {
    return inner_.RegReplaceKeyW(key, subKey, newFile, oldFile);
  }
  LSTATUS RegLoadKeyW(HKEY key, std::u16string_view subKey, std::u16string_view file) override {
    return inner_.RegLoadKeyW(key, subKey, file);
  }
  LSTATUS RegUnLoadKeyW(HKEY key, std::u16string_view subKey) override {
    return inner_.RegUnLoadKeyW(key, subKey);
  }
  bool HasSfcIsKeyProtected() const override { return inner_.HasSfcIsKeyProtected(); }
  platform::BOOL SfcIsKeyProtected(HKEY key, std::u16string_view subKey, REGSAM view) override {
    return inner_.SfcIsKeyProtected(key, subKey, view);
  }

 private:
  platform::IRegistry& inner_;
  std::vector<std::u16string> keys_;
};

// The session's process with the registry above in place of its own.
class UnreadableKeysPlatform final : public platform::IPlatform {
 public:
  UnreadableKeysPlatform(platform::IPlatform& inner, std::vector<std::u16string> keys)
      : inner_(inner), registry_(inner.Registry(), std::move(keys)) {}
  platform::IRegistry& Registry() override { return registry_; }
  platform::IFileSystem& Files() override { return inner_.Files(); }
  platform::IShell& Shell() override { return inner_.Shell(); }
  platform::ISystem& System() override { return inner_.System(); }
  platform::IProcesses& Processes() override { return inner_.Processes(); }

 private:
  platform::IPlatform& inner_;
  UnreadableKeysRegistry registry_;
};

// A scan context like the session's (same hooks, facts and stop event) over that platform.
class UnreadableKeysScan {
 public:
  UnreadableKeysScan(ScanSession& session, std::vector<std::u16string> keys)
      : session_(session),
        platform_(session.Process(), std::move(keys)),
        ctx_(platform_, session.Context().Facts()),
        skipLists_(engine::CSkipLists::ForMachine(platform_.Shell(), platform_.Files())),
        fileRefs_(ctx_, *skipLists_) {
    ctx_.hooks = session.Context().hooks;
  }

  template <typename Category>
  std::unique_ptr<Category> Make() {
    auto category = std::make_unique<Category>(ctx_, fileRefs_);
    category->AttachStopEvent(&session_.stopEvent);
    return category;
  }

 private:
  ScanSession& session_;
  UnreadableKeysPlatform platform_;
  engine::EngineContext ctx_;
  std::unique_ptr<engine::CSkipLists> skipLists_;
  engine::CFileReferences fileRefs_;
};

}  // namespace bc::categories::testing
