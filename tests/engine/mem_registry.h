// A small in-memory registry for the registry-helper, empty-key, exclusion and results tests:
// keys in a tree with case-insensitive names, values in write order, subkeys enumerated sorted by
// upper-cased name as Windows does, the WOW64 32-bit view of HKLM\SOFTWARE redirected to
// Wow6432Node, read-only keys that answer 5 to write access, and a list of protected keys.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"

namespace bc::test {

using namespace bc::platform;

class MemRegistry final : public IRegistry {
 public:
  struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
  };
  struct Node {
    std::u16string name;
    std::vector<std::unique_ptr<Node>> children;
    std::vector<Value> values;
    bool readOnly = false;
    Node* parent = nullptr;
  };

  // wow64: this is a 32-bit process on 64-bit Windows (the 32-bit view is redirected).
  explicit MemRegistry(bool wow64 = false) : wow64_(wow64) {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                      HKEY_CURRENT_CONFIG}) {
      roots_[root] = std::make_unique<Node>();
    }
  }

  // --- Set-up, by root and native path (no redirection) -------------------------------------
  Node* AddKey(HKEY root, std::u16string_view path) { return Walk(roots_[root].get(), path, true); }
  void SetText(HKEY root, std::u16string_view path, std::u16string_view name,
               std::u16string_view text, DWORD type = REG_SZ) {
    std::vector<std::uint8_t> data((text.size() + 1) * 2, 0);
    if (!text.empty()) std::memcpy(data.data(), text.data(), text.size() * 2);
    Put(AddKey(root, path), name, type, std::move(data));
  }
  void SetDword(HKEY root, std::u16string_view path, std::u16string_view name, DWORD v) {
    std::vector<std::uint8_t> data(4);
    std::memcpy(data.data(), &v, 4);
    Put(AddKey(root, path), name, REG_DWORD, std::move(data));
  }
  bool HasKey(HKEY root, std::u16string_view path) {
    return Walk(roots_[root].get(), path, false) != nullptr;
  }
  void RemoveKey(HKEY root, std::u16string_view path) {
    if (Node* n = Walk(roots_[root].get(), path, false); n && n->parent) Detach(n);
  }
  void RemoveValue(HKEY root, std::u16string_view path, std::u16string_view name) {
    if (Node* n = Walk(roots_[root].get(), path, false)) EraseValue(n, name);
  }
  void SetReadOnly(HKEY root, std::u16string_view path) { AddKey(root, path)->readOnly = true; }
  void Protect(HKEY root, std::u16string_view path) { protected_.insert({root, ToUpper(path)}); }
  int OpenHandles() const { return static_cast<int>(handles_.size()); }
  REGSAM lastDeleteSam = 0;
  int deleteKeyWCalls = 0;
  int deleteKeyExCalls = 0;

  // --- IRegistry ------------------------------------------------------------------------------
  LSTATUS RegOpenKeyExW(HKEY key, std::u16string_view subKey, DWORD, REGSAM sam,
                        HKEY* result) override {
    Node* base = Resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    Node* n = Walk(base, Redirect(key, subKey, sam), false);
    if (!n) return ERROR_FILE_NOT_FOUND;
    if ((sam & kWriteRights) && n->readOnly) return ERROR_ACCESS_DENIED;
    return NewHandle(n, result);
  }
  LSTATUS RegCreateKeyExW(HKEY key, std::u16string_view subKey, DWORD, REGSAM sam, HKEY* result,
                          DWORD* disposition) override {
    Node* base = Resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    const std::u16string path = Redirect(key, subKey, sam);
    Node* n = Walk(base, path, false);
    if (disposition) *disposition = n ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    if (!n) {
      Node* parent = Walk(base,
                          std::u16string(SplitLast(path, u'\\').found ? SplitLast(path, u'\\').head
                                                                      : std::u16string_view()),
                          false);
      if (parent && parent->readOnly) return ERROR_ACCESS_DENIED;
      n = Walk(base, path, true);
    }
    if ((sam & kWriteRights) && n->readOnly) return ERROR_ACCESS_DENIED;
    return NewHandle(n, result);
  }
  LSTATUS RegCloseKey(HKEY key) override {
    if (roots_.count(key)) return ERROR_SUCCESS;
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
  LSTATUS RegQueryInfoKeyW(HKEY key, RegKeyInfo* info) override {
    Node* n = Resolve(key);
    if (!n) return ERROR_INVALID_HANDLE;
    *info = RegKeyInfo{};
    info->subKeys = static_cast<DWORD>(n->children.size());
    info->values = static_cast<DWORD>(n->values.size());
    return ERROR_SUCCESS;
  }
  LSTATUS RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* cchName) override {
    Node* n = Resolve(key);
    if (!n) return ERROR_INVALID_HANDLE;
    std::vector<const Node*> sorted;
    for (const auto& c : n->children) sorted.push_back(c.get());
    std::sort(sorted.begin(), sorted.end(),
              [](const Node* a, const Node* b) { return ToUpper(a->name) < ToUpper(b->name); });
    if (index >= sorted.size()) return ERROR_NO_MORE_ITEMS;
    return CopyName(sorted[index]->name, name, cchName);
  }
  LSTATUS RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* cchName, DWORD* type,
                        std::uint8_t* data, DWORD* cbData) override {
    Node* n = Resolve(key);
    if (!n) return ERROR_INVALID_HANDLE;
    if (index >= n->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = n->values[index];
    if (const LSTATUS s = CopyName(v.name, name, cchName); s != ERROR_SUCCESS) return s;
    return CopyData(v, type, data, cbData);
  }
  LSTATUS RegQueryValueExW(HKEY key, std::u16string_view valueName, DWORD* type, std::uint8_t* data,
                           DWORD* cbData) override {
    Node* n = Resolve(key);
    if (!n) return ERROR_INVALID_HANDLE;
    const Value* v = FindValue(n, valueName);
    if (!v) return ERROR_FILE_NOT_FOUND;
    return CopyData(*v, type, data, cbData);
  }
  LSTATUS RegSetValueExW(HKEY key, std::u16string_view valueName, DWORD type,
                         const std::uint8_t* data, DWORD cbData) override {
    Node* n = Resolve(key);
    if (!n) return ERROR_INVALID_HANDLE;
    Put(n, valueName, type, std::vector<std::uint8_t>(data, data + cbData));
    return ERROR_SUCCESS;
  }
  LSTATUS RegDeleteValueW(HKEY key, std::u16string_view valueName) override {
    Node* n = Resolve(key);
    if (!n) return ERROR_INVALID_HANDLE;
    return EraseValue(n, valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }
  LSTATUS RegDeleteKeyW(HKEY key, std::u16string_view subKey) override {
    ++deleteKeyWCalls;
    return Delete(key, subKey, 0);
  }
  LSTATUS RegDeleteKeyExW(HKEY key, std::u16string_view subKey, REGSAM sam) override {
    ++deleteKeyExCalls;
    lastDeleteSam = sam;
    return Delete(key, subKey, sam);
  }
  LSTATUS Delete(HKEY key, std::u16string_view subKey, REGSAM sam) {
    Node* base = Resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    Node* n = Walk(base, Redirect(key, subKey, sam), false);
    if (!n) return ERROR_FILE_NOT_FOUND;
    if (!n->parent || !n->children.empty() || n->readOnly) return ERROR_ACCESS_DENIED;
    for (auto& [h, node] : handles_) {
      if (node == n) node = nullptr;  // the handle stays valid but names nothing
    }
    Detach(n);
    return ERROR_SUCCESS;
  }
  LSTATUS SHDeleteKeyW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  LSTATUS RegFlushKey(HKEY) override { return ERROR_SUCCESS; }
  LSTATUS RegSaveKeyW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  LSTATUS RegReplaceKeyW(HKEY, std::u16string_view, std::u16string_view,
                         std::u16string_view) override {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  LSTATUS RegLoadKeyW(HKEY, std::u16string_view, std::u16string_view) override {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  LSTATUS RegUnLoadKeyW(HKEY, std::u16string_view) override { return ERROR_CALL_NOT_IMPLEMENTED; }
  bool HasSfcIsKeyProtected() const override { return true; }
  BOOL SfcIsKeyProtected(HKEY key, std::u16string_view subKey, REGSAM) override {
    return protected_.count({key, ToUpper(subKey)}) ? 1 : 0;
  }

 private:
  Node* Resolve(HKEY key) {
    if (auto r = roots_.find(key); r != roots_.end()) return r->second.get();
    auto h = handles_.find(key);
    return h == handles_.end() ? nullptr : h->second;
  }
  // The 32-bit view (and, for this 32-bit process, no view bit) of HKLM\SOFTWARE is Wow6432Node.
  std::u16string Redirect(HKEY key, std::u16string_view subKey, REGSAM sam) const {
    std::u16string path(subKey);
    if (!wow64_ || key != HKEY_LOCAL_MACHINE || (sam & KEY_WOW64_64KEY)) return path;
    const std::u16string upper = ToUpper(path);
    if (upper != u"SOFTWARE" && !upper.starts_with(u"SOFTWARE\\")) return path;
    if (upper.starts_with(u"SOFTWARE\\WOW6432NODE")) return path;
    if (upper == u"SOFTWARE\\CLASSES" || upper.starts_with(u"SOFTWARE\\CLASSES\\")) return path;
    return u"SOFTWARE\\Wow6432Node" + path.substr(8);
  }
  Node* Walk(Node* n, std::u16string_view path, bool create) {
    for (std::u16string_view part : SplitAll(path, u'\\')) {
      if (part.empty()) continue;
      Node* next = nullptr;
      for (auto& c : n->children) {
        if (EqualsNoCase(c->name, part)) next = c.get();
      }
      if (!next) {
        if (!create) return nullptr;
        auto child = std::make_unique<Node>();
        child->name = std::u16string(part);
        child->parent = n;
        next = child.get();
        n->children.push_back(std::move(child));
      }
      n = next;
    }
    return n;
  }
  static void Detach(Node* n) {
    auto& siblings = n->parent->children;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                                [n](const auto& c) { return c.get() == n; }));
  }
  static Value* FindValue(Node* n, std::u16string_view name) {
    for (auto& v : n->values) {
      if (EqualsNoCase(v.name, name)) return &v;
    }
    return nullptr;
  }
  static void Put(Node* n, std::u16string_view name, DWORD type, std::vector<std::uint8_t> data) {
    if (Value* v = FindValue(n, name)) {
      v->type = type;
      v->data = std::move(data);
    } else {
      n->values.push_back({std::u16string(name), type, std::move(data)});
    }
  }
  static bool EraseValue(Node* n, std::u16string_view name) {
    for (auto it = n->values.begin(); it != n->values.end(); ++it) {
      if (EqualsNoCase(it->name, name)) {
        n->values.erase(it);
        return true;
      }
    }
    return false;
  }
  static LSTATUS CopyName(const std::u16string& s, char16_t* name, DWORD* cch) {
    if (s.size() + 1 > *cch) return ERROR_MORE_DATA;
    std::copy(s.begin(), s.end(), name);
    name[s.size()] = u'\0';
    *cch = static_cast<DWORD>(s.size());
    return ERROR_SUCCESS;
  }
  static LSTATUS CopyData(const Value& v, DWORD* type, std::uint8_t* data, DWORD* cbData) {
    if (type) *type = v.type;
    if (!cbData) return ERROR_SUCCESS;
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (data && *cbData < size) {
      *cbData = size;
      return ERROR_MORE_DATA;
    }
    if (data && size) std::memcpy(data, v.data.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
  }
  LSTATUS NewHandle(Node* n, HKEY* result) {
    const HKEY h = next_++;
    handles_[h] = n;
    *result = h;
    return ERROR_SUCCESS;
  }

  bool wow64_;
  std::map<HKEY, std::unique_ptr<Node>> roots_;
  std::map<HKEY, Node*> handles_;
  std::set<std::pair<HKEY, std::u16string>> protected_;
  HKEY next_ = 0x1000;
};

}  // namespace bc::test
