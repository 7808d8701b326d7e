// An in-memory registry for the settings and language tests: keys of HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE (HKLM read-only unless the process is "elevated"), values with their types,
// Windows status codes. Only the calls the storage layer makes are served.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"

namespace bc::storage::testing {

using namespace bc::platform;

class FakeRegistry final : public IRegistry {
 public:
  struct Value {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
  };

  bool hklmWritable = false;
  int flushes = 0;

  // Test set-up and inspection, by full path ("HKCU\\Software\\...").
  void Put(HKEY root, std::u16string_view key, std::u16string_view name, DWORD type,
           std::vector<std::uint8_t> data) {
    keys_[Path(root, key)].values[ToLower(name)] = Value{type, std::move(data)};
  }
  void PutDword(HKEY root, std::u16string_view key, std::u16string_view name, DWORD v) {
    std::vector<std::uint8_t> d(4);
    std::memcpy(d.data(), &v, 4);
    Put(root, key, name, REG_DWORD, d);
  }
  void PutText(HKEY root, std::u16string_view key, std::u16string_view name, std::u16string_view t,
               DWORD type = REG_SZ) {
    std::vector<std::uint8_t> d((t.size() + 1) * 2, 0);
    if (!t.empty()) std::memcpy(d.data(), t.data(), t.size() * 2);
    Put(root, key, name, type, d);
  }
  const Value* Get(HKEY root, std::u16string_view key, std::u16string_view name) const {
    auto k = keys_.find(Path(root, key));
    if (k == keys_.end()) return nullptr;
    auto v = k->second.values.find(ToLower(name));
    return v == k->second.values.end() ? nullptr : &v->second;
  }
  bool HasKey(HKEY root, std::u16string_view key) const { return keys_.count(Path(root, key)); }
  // Names of the values of a key in the order they were first written.
  const std::vector<std::u16string>& WriteOrder() const { return writeOrder_; }

  LSTATUS RegOpenKeyExW(HKEY key, std::u16string_view subKey, DWORD, REGSAM sam,
                        HKEY* result) override {
    std::u16string path;
    if (!Resolve(key, subKey, &path)) return ERROR_INVALID_HANDLE;
    if (!keys_.count(path)) return ERROR_FILE_NOT_FOUND;
    if ((sam & kWriteRights) && !Writable(path)) return ERROR_ACCESS_DENIED;
    return NewHandle(path, sam, result);
  }
  LSTATUS RegCreateKeyExW(HKEY key, std::u16string_view subKey, DWORD, REGSAM sam, HKEY* result,
                          DWORD* disposition) override {
    std::u16string path;
    if (!Resolve(key, subKey, &path)) return ERROR_INVALID_HANDLE;
    if (!Writable(path)) return ERROR_ACCESS_DENIED;
    const bool created = keys_.try_emplace(path).second;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return NewHandle(path, sam, result);
  }
  LSTATUS RegCloseKey(HKEY key) override {
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
  LSTATUS RegQueryValueExW(HKEY key, std::u16string_view name, DWORD* type, std::uint8_t* data,
                           DWORD* cbData) override {
    auto h = handles_.find(key);
    if (h == handles_.end()) return ERROR_INVALID_HANDLE;
    const Value* v = Find(h->second.path, name);
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    const DWORD size = static_cast<DWORD>(v->data.size());
    if (data) {
      if (!cbData || *cbData < size) {
        if (cbData) *cbData = size;
        return ERROR_MORE_DATA;
      }
      if (size) std::memcpy(data, v->data.data(), size);
    }
    if (cbData) *cbData = size;
    return ERROR_SUCCESS;
  }
  LSTATUS RegSetValueExW(HKEY key, std::u16string_view name, DWORD type, const std::uint8_t* data,
                         DWORD cbData) override {
    auto h = handles_.find(key);
    if (h == handles_.end()) return ERROR_INVALID_HANDLE;
    if (!(h->second.sam & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    keys_[h->second.path].values[ToLower(name)] = Value{type, {data, data + cbData}};
    writeOrder_.emplace_back(name);
    return ERROR_SUCCESS;
  }
  LSTATUS RegFlushKey(HKEY key) override {
    if (!handles_.count(key)) return ERROR_INVALID_HANDLE;
    ++flushes;
    return ERROR_SUCCESS;
  }

  LSTATUS RegQueryInfoKeyW(HKEY, RegKeyInfo*) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  LSTATUS RegEnumKeyExW(HKEY, DWORD, char16_t*, DWORD*) override {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  LSTATUS RegEnumValueW(HKEY, DWORD, char16_t*, DWORD*, DWORD*, std::uint8_t*, DWORD*) override {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  LSTATUS RegDeleteValueW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  LSTATUS RegDeleteKeyW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  LSTATUS RegDeleteKeyExW(HKEY, std::u16string_view, REGSAM) override {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  LSTATUS SHDeleteKeyW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  LSTATUS RegSaveKeyW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  LSTATUS RegReplaceKeyW(HKEY, std::u16string_view, std::u16string_view,
                         std::u16string_view) override {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  LSTATUS RegLoadKeyW(HKEY, std::u16string_view, std::u16string_view) override {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  LSTATUS RegUnLoadKeyW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  bool HasSfcIsKeyProtected() const override { return false; }
  BOOL SfcIsKeyProtected(HKEY, std::u16string_view, REGSAM) override { return 0; }

  std::size_t OpenHandles() const { return handles_.size(); }

 private:
  struct Key {
    std::map<std::u16string, Value> values;  // lower-cased names
  };
  struct Handle {
    std::u16string path;
    REGSAM sam;
  };

  static std::u16string Path(HKEY root, std::u16string_view sub) {
    std::u16string p = root == HKEY_LOCAL_MACHINE ? u"hklm" : u"hkcu";
    if (!sub.empty()) p += u"\\" + ToLower(sub);
    return p;
  }
  bool Resolve(HKEY key, std::u16string_view sub, std::u16string* path) const {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
      *path = Path(key, sub);
      return true;
    }
    auto h = handles_.find(key);
    if (h == handles_.end()) return false;
    *path = h->second.path;
    if (!sub.empty()) *path += u"\\" + ToLower(sub);
    return true;
  }
  bool Writable(const std::u16string& path) const {
    return hklmWritable || path.rfind(u"hklm", 0) != 0;
  }
  LSTATUS NewHandle(const std::u16string& path, REGSAM sam, HKEY* result) {
    const HKEY h = next_++;
    handles_[h] = Handle{path, sam};
    *result = h;
    return ERROR_SUCCESS;
  }
  const Value* Find(const std::u16string& path, std::u16string_view name) const {
    auto k = keys_.find(path);
    if (k == keys_.end()) return nullptr;
    auto v = k->second.values.find(ToLower(name));
    return v == k->second.values.end() ? nullptr : &v->second;
  }

  std::map<std::u16string, Key> keys_;
  std::map<HKEY, Handle> handles_;
  HKEY next_ = 0x1000;
  std::vector<std::u16string> writeOrder_;
};

}  // namespace bc::storage::testing
