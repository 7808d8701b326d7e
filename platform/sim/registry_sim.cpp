// The registry as one process of the simulated machine sees it: handles, the predefined roots,
// the WOW64 views, the merged HKEY_CLASSES_ROOT and the rights of the process's token.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "base/text.h"
#include "platform/registry.h"
#include "platform/sim/hive_writer.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_paths.h"
#include "platform/sim/registry_replace.h"
#include "platform/sim/registry_state.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/registry_views.h"

namespace bc::platform::sim {
namespace {

using hive::CompareNames;
using hive::SameName;

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr LSTATUS kBadPathName = 161;  // ERROR_BAD_PATHNAME
constexpr REGSAM kWriteAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// The C string a caller passes ends at its first NUL.
std::u16string_view CString(std::u16string_view s) {
  const auto nul = s.find(u'\0');
  return nul == std::u16string_view::npos ? s : s.substr(0, nul);
}

// Maps generic rights onto key rights.
REGSAM KeyRights(REGSAM sam) {
  REGSAM r = sam & ~(KEY_WOW64_RES | GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | 0x20000000u);
  if (sam & GENERIC_READ) r |= KEY_READ;
  if (sam & GENERIC_WRITE) r |= KEY_WRITE;
  if (sam & 0x20000000u) r |= KEY_EXECUTE;
  if (sam & GENERIC_ALL) r |= KEY_ALL_ACCESS;
  return r;
}

// Splits a sub-key path; a leading separator or an empty name in the middle is malformed,
// trailing separators are ignored.
LSTATUS SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>* out) {
  out->clear();
  path = CString(path);
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return ERROR_SUCCESS;
  if (path.front() == u'\\') return kBadPathName;
  std::size_t start = 0;
  for (;;) {
    const std::size_t sep = path.find(u'\\', start);
    const auto part =
        path.substr(start, sep == std::u16string_view::npos ? path.npos : sep - start);
    if (part.empty()) return kBadPathName;
    out->push_back(part);
    if (sep == std::u16string_view::npos) break;
    start = sep + 1;
  }
  return ERROR_SUCCESS;
}

std::u16string Join(const std::vector<std::u16string_view>& parts) {
  std::u16string s;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) s += u'\\';
    s += parts[i];
  }
  return s;
}

// True when path equals prefix or lies below it (component-wise, ignoring case).
bool PathWithin(std::u16string_view path, std::u16string_view prefix) {
  if (path.size() < prefix.size()) return false;
  if (!SameName(path.substr(0, prefix.size()), prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == u'\\';
}

// A key as a handle sees it.
struct KeyRef {
  KeyNode* a = nullptr;  // the key; for HKEY_CLASSES_ROOT keys the user's one (may be null)
  KeyNode* b = nullptr;  // HKEY_CLASSES_ROOT keys only: the machine's one (may be null)
  bool merged = false;
  // While a WOW64 view rule may still apply below the key, where it sits logically.
  bool tracked = false;
  bool wowSide = false;  // reached through a redirection to a Wow6432Node key
  ViewSpace space = ViewSpace::kMachine;
  std::u16string logical;

  KeyNode* Primary() const { return a ? a : b; }
  bool Deleted() const { return (a && a->deleted) || (b && b->deleted) || (!a && !b); }
};

class SimRegistry final : public IRegistry {
 public:
  explicit SimRegistry(SimProcess& process)
      : process_(process),
        state_(process.Machine().Registry()),
        store_(state_.Store()),
        d_(process.Machine().Descriptor()) {
    const ProcessIdentity& id = process.Identity();
    // Administrators on Windows XP always hold their full token.
    machineAdmin_ = id.user.admin && (id.elevated || d_.version.IsXp());
    x64_ = d_.Is64Bit();
    defaultView32_ = x64_ && id.wow64;
    sid_ = id.user.sid;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    for (const auto& k : d_.deniedKeys) Canonical(k, &denied_);
    if (d_.protectedKeys) {
      for (const auto& k : *d_.protectedKeys) Canonical(k, &protected_);
    } else if (!d_.version.IsXp()) {
      for (const auto& k : DefaultProtectedKeys()) Canonical(k, &protected_);
    }
  }

  ~SimRegistry() override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    for (auto& h : handles_) {
      if (h.used) ReleaseRef(h.ref);
    }
    handles_.clear();
    // Process exit is a flush point.
    store_.FlushAll(nullptr);
  }

  LSTATUS RegOpenKeyExW(HKEY key, std::u16string_view subKey, DWORD options, REGSAM sam,
                        HKEY* result) override {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = kNullKey;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    store_.RefreshIfChanged();
    if ((sam & KEY_WOW64_RES) == KEY_WOW64_RES) return ERROR_INVALID_PARAMETER;
    KeyRef base;
    if (LSTATUS st = Resolve(key, &base, nullptr); st != ERROR_SUCCESS) return st;
    std::vector<std::u16string_view>& parts = parts_;
    if (LSTATUS st = SplitKeyPath(subKey, &parts); st != ERROR_SUCCESS) return st;
    KeyRef ref;
    if (LSTATUS st = Walk(base, parts, View32(sam), false, false,
                          (options & REG_OPTION_OPEN_LINK) != 0, &ref, nullptr);
        st != ERROR_SUCCESS) {
      return st;
    }
    REGSAM granted = 0;
    if (LSTATUS st = Grant(ref, sam, &granted); st != ERROR_SUCCESS) return st;
    *result = NewHandle(std::move(ref), granted);
    return ERROR_SUCCESS;
  }

  LSTATUS RegCreateKeyExW(HKEY key, std::u16string_view subKey, DWORD options, REGSAM sam,
                          HKEY* result, DWORD* disposition) override {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = kNullKey;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    store_.RefreshIfChanged();
    if ((sam & KEY_WOW64_RES) == KEY_WOW64_RES) return ERROR_INVALID_PARAMETER;
    KeyRef base;
    if (LSTATUS st = Resolve(key, &base, nullptr); st != ERROR_SUCCESS) return st;
    std::vector<std::u16string_view> parts;
    if (LSTATUS st = SplitKeyPath(subKey, &parts); st != ERROR_SUCCESS) return st;
    for (auto p : parts) {
      if (p.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    }
    const bool backup = (options & REG_OPTION_BACKUP_RESTORE) != 0;
    if (backup && !machineAdmin_) return ERROR_ACCESS_DENIED;
    KeyRef ref;
    bool created = false;
    if (LSTATUS st = Walk(base, parts, View32(sam), true, (options & REG_OPTION_VOLATILE) != 0,
                          false, &ref, &created);
        st != ERROR_SUCCESS) {
      return st;
    }
    REGSAM granted = 0;
    if (backup) {
      // The backup and restore privileges pass every access check.
      granted = KEY_ALL_ACCESS;
    } else if (LSTATUS st = Grant(ref, sam, &granted); st != ERROR_SUCCESS) {
      return st;
    }
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(std::move(ref), granted);
    return ERROR_SUCCESS;
  }

  LSTATUS RegCloseKey(HKEY key) override {
    if (IsPredefined(key)) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    Handle* h = Find(key);
    if (!h) return ERROR_INVALID_HANDLE;
    ReleaseRef(h->ref);
    h->ref = KeyRef{};
    h->merged.clear();
    h->used = false;
    ++h->gen;
    free_.push_back(static_cast<std::uint32_t>(h - handles_.data()));
    return ERROR_SUCCESS;
  }

  LSTATUS RegQueryInfoKeyW(HKEY key, RegKeyInfo* info) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    Handle* h = nullptr;
    if (LSTATUS st = Use(key, KEY_QUERY_VALUE, &ref, &h); st != ERROR_SUCCESS) return st;
    RegKeyInfo out;
    if (ref.merged) {
      const auto* names = MergedNames(h, ref);
      if (!names) return ERROR_BADDB;
      out.subKeys = static_cast<DWORD>(names->size());
      for (const auto& n : *names) out.maxSubKeyLen = std::max<DWORD>(out.maxSubKeyLen, n.size());
    } else {
      if (!store_.LoadChildren(ref.a)) return ERROR_BADDB;
      out.subKeys = static_cast<DWORD>(ref.a->children.size());
      for (const auto& c : ref.a->children) {
        out.maxSubKeyLen = std::max<DWORD>(out.maxSubKeyLen, c->name.size());
      }
    }
    KeyNode* primary = ref.Primary();
    const auto* values = store_.Values(primary);
    if (!values) return ERROR_BADDB;
    out.values = static_cast<DWORD>(values->size());
    for (const auto& v : *values) {
      out.maxValueNameLen = std::max<DWORD>(out.maxValueNameLen, v.name.size());
      out.maxValueLen = std::max<DWORD>(out.maxValueLen, v.size);
    }
    out.lastWriteTime = store_.LastWrite(primary);
    if (info) *info = out;
    return ERROR_SUCCESS;
  }

  LSTATUS RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* cchName) override {
    if (!name || !cchName) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    Handle* h = nullptr;
    if (LSTATUS st = Use(key, KEY_ENUMERATE_SUB_KEYS, &ref, &h); st != ERROR_SUCCESS) return st;
    const std::u16string* n = nullptr;
    if (ref.merged) {
      const auto* names = MergedNames(h, ref);
      if (!names) return ERROR_BADDB;
      if (index >= names->size()) return ERROR_NO_MORE_ITEMS;
      n = &(*names)[index];
    } else {
      if (!store_.LoadChildren(ref.a)) return ERROR_BADDB;
      if (index >= ref.a->children.size()) return ERROR_NO_MORE_ITEMS;
      n = &ref.a->children[index]->name;
      ref.a->lastEnumerated = index;
    }
    if (n->size() >= *cchName) return ERROR_MORE_DATA;
    std::copy(n->begin(), n->end(), name);
    name[n->size()] = u'\0';
    *cchName = static_cast<DWORD>(n->size());
    return ERROR_SUCCESS;
  }

  LSTATUS RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* cchName, DWORD* type,
                        std::uint8_t* data, DWORD* cbData) override {
    if (!name || !cchName || (data && !cbData)) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    if (LSTATUS st = Use(key, KEY_QUERY_VALUE, &ref, nullptr); st != ERROR_SUCCESS) return st;
    KeyNode* node = ref.Primary();
    const auto* values = store_.Values(node);
    if (!values) return ERROR_BADDB;
    if (index >= values->size()) return ERROR_NO_MORE_ITEMS;
    const KeyValue& v = (*values)[index];
    if (v.name.size() >= *cchName) return ERROR_MORE_DATA;
    std::copy(v.name.begin(), v.name.end(), name);
    name[v.name.size()] = u'\0';
    *cchName = static_cast<DWORD>(v.name.size());
    if (type) *type = v.type;
    return CopyData(node, v, data, cbData);
  }

  LSTATUS RegQueryValueExW(HKEY key, std::u16string_view valueName, DWORD* type, std::uint8_t* data,
                           DWORD* cbData) override {
    if (data && !cbData) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    if (LSTATUS st = Use(key, KEY_QUERY_VALUE, &ref, nullptr); st != ERROR_SUCCESS) return st;
    KeyNode* node = ref.Primary();
    const KeyValue* v = store_.FindValue(node, CString(valueName));
    if (!v) return node->hive && node->hive->damaged ? ERROR_BADDB : ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    return CopyData(node, *v, data, cbData);
  }

  LSTATUS RegSetValueExW(HKEY key, std::u16string_view valueName, DWORD type,
                         const std::uint8_t* data, DWORD cbData) override {
    if (!data && cbData) return ERROR_INVALID_PARAMETER;
    const auto name = CString(valueName);
    if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    if (LSTATUS st = Use(key, KEY_SET_VALUE, &ref, nullptr); st != ERROR_SUCCESS) return st;
    return store_.SetValue(ref.Primary(), name, type, {data, data ? cbData : 0u});
  }

  LSTATUS RegDeleteValueW(HKEY key, std::u16string_view valueName) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    if (LSTATUS st = Use(key, KEY_SET_VALUE, &ref, nullptr); st != ERROR_SUCCESS) return st;
    return store_.DeleteValue(ref.Primary(), CString(valueName));
  }

  LSTATUS RegDeleteKeyW(HKEY key, std::u16string_view subKey) override {
    return DeleteKey(key, subKey, 0);
  }

  LSTATUS RegDeleteKeyExW(HKEY key, std::u16string_view subKey, REGSAM samDesired) override {
    if ((samDesired & KEY_WOW64_RES) == KEY_WOW64_RES) return ERROR_INVALID_PARAMETER;
    return DeleteKey(key, subKey, samDesired);
  }

  LSTATUS SHDeleteKeyW(HKEY key, std::u16string_view subKey) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    store_.RefreshIfChanged();
    KeyRef target;
    if (LSTATUS st = Target(key, subKey, 0, &target); st != ERROR_SUCCESS) return st;
    KeyNode* node = target.a ? target.a : target.b;
    if (!Deletable(node)) return ERROR_ACCESS_DENIED;
    if (denied_.empty()) return store_.DeleteTree(node);
    return DeleteChecked(node);
  }

  LSTATUS RegFlushKey(HKEY key) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    if (LSTATUS st = Resolve(key, &ref, nullptr); st != ERROR_SUCCESS) return st;
    for (KeyNode* n : {ref.a, ref.b}) {
      if (n && n->hive) {
        if (LSTATUS st = store_.Flush(n->hive, nullptr); st != ERROR_SUCCESS) return st;
      } else if (n == store_.MachineRoot() || n == store_.UsersRoot()) {
        if (LSTATUS st = store_.FlushAll(nullptr); st != ERROR_SUCCESS) return st;
      }
    }
    return ERROR_SUCCESS;
  }

  LSTATUS RegSaveKeyW(HKEY key, std::u16string_view file) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef ref;
    if (LSTATUS st = Resolve(key, &ref, nullptr); st != ERROR_SUCCESS) return st;
    if (!machineAdmin_) return ERROR_PRIVILEGE_NOT_HELD;
    std::filesystem::path host;
    if (LSTATUS st = HostPathOf(store_.Folder(), d_, CString(file), &host); st != ERROR_SUCCESS) {
      return st;
    }
    std::error_code ec;
    if (std::filesystem::exists(host, ec)) return ERROR_ALREADY_EXISTS;
    KeyNode* node = ref.Primary();
    // Edits held in memory are part of the key: write them first.
    if (node->hive && node->hive->deferred) {
      if (LSTATUS st = store_.Flush(node->hive, nullptr); st != ERROR_SUCCESS) return st;
      if (node->deleted) return ERROR_KEY_DELETED;
    }
    std::unique_ptr<HiveKey> tree;
    if (node->hive && node->hnode) {
      if (node->hive->damaged) return ERROR_BADDB;
      tree = node->hive->file->ReadTree(node->hnode, node->name);
      if (!tree) return ERROR_BADDB;
    } else if (node->isVolatile) {
      tree = std::make_unique<HiveKey>(node->name);  // volatile keys are never saved
    } else {
      return ERROR_INVALID_PARAMETER;
    }
    const auto bytes = WriteCompactHive(*tree, store_.WriteOptions(node->hive, CString(file)));
    return WriteNewFile(host, bytes);
  }

  LSTATUS RegReplaceKeyW(HKEY key, std::u16string_view subKey, std::u16string_view newFile,
                         std::u16string_view oldFile) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyRef target;
    if (LSTATUS st = Target(key, subKey, 0, &target); st != ERROR_SUCCESS) return st;
    KeyNode* node = target.Primary();
    if (!node->mountPoint) return ERROR_INVALID_PARAMETER;
    if (!machineAdmin_) return ERROR_PRIVILEGE_NOT_HELD;
    std::filesystem::path fresh, old;
    if (LSTATUS st = HostPathOf(store_.Folder(), d_, CString(newFile), &fresh);
        st != ERROR_SUCCESS) {
      return st;
    }
    if (LSTATUS st = HostPathOf(store_.Folder(), d_, CString(oldFile), &old); st != ERROR_SUCCESS) {
      return st;
    }
    std::error_code ec;
    if (!std::filesystem::exists(fresh, ec)) return ERROR_FILE_NOT_FOUND;
    const std::string problem = hive::CheckHiveFile(fresh);
    if (!problem.empty()) {
      return problem == "not a registry hive file" ? ERROR_NOT_REGISTRY_FILE : ERROR_BADDB;
    }
    if (std::filesystem::exists(old, ec)) return ERROR_ALREADY_EXISTS;
    if (!RecordHiveReplacement(store_.Folder(),
                               {node->hive->windowsPath, std::u16string(CString(newFile)),
                                std::u16string(CString(oldFile))},
                               nullptr)) {
      return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
  }

  LSTATUS RegLoadKeyW(HKEY key, std::u16string_view subKey, std::u16string_view file) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyNode* root = nullptr;
    if (LSTATUS st = HiveParent(key, &root); st != ERROR_SUCCESS) return st;
    const auto name = CString(subKey);
    if (name.empty() || name.find(u'\\') != std::u16string_view::npos ||
        name.size() > kMaxKeyNameLength) {
      return ERROR_INVALID_PARAMETER;
    }
    if (!machineAdmin_) return ERROR_PRIVILEGE_NOT_HELD;
    if (store_.Child(root, name)) return ERROR_ALREADY_EXISTS;
    std::filesystem::path host;
    if (LSTATUS st = HostPathOf(store_.Folder(), d_, CString(file), &host); st != ERROR_SUCCESS) {
      return st;
    }
    return store_.MountHive(root, name, host, CString(file), u"", true, nullptr);
  }

  LSTATUS RegUnLoadKeyW(HKEY key, std::u16string_view subKey) override {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    KeyNode* root = nullptr;
    if (LSTATUS st = HiveParent(key, &root); st != ERROR_SUCCESS) return st;
    if (!machineAdmin_) return ERROR_PRIVILEGE_NOT_HELD;
    KeyNode* node = store_.Child(root, CString(subKey));
    if (!node) return ERROR_FILE_NOT_FOUND;
    if (!node->mountPoint) return ERROR_INVALID_PARAMETER;
    if (!node->hive->loadedByApp) return ERROR_ACCESS_DENIED;
    if (store_.OpenHandlesIn(node) > 0) return ERROR_ACCESS_DENIED;
    return store_.UnmountHive(node->hive);
  }

  bool HasSfcIsKeyProtected() const override { return !d_.version.IsXp(); }

  BOOL SfcIsKeyProtected(HKEY key, std::u16string_view subKey, REGSAM view) override {
    if (d_.version.IsXp()) return 0;
    std::lock_guard<std::mutex> lock(store_.Mutex());
    std::u16string path;
    if (!LogicalToPhysicalText(key, subKey, View32(view), &path)) return 0;
    for (const auto& p : protected_) {
      if (PathWithin(path, p)) return 1;
    }
    return 0;
  }

 private:
  struct Handle {
    KeyRef ref;
    REGSAM granted = 0;
    std::uint32_t gen = 1;
    bool used = false;
    // Sub-key names of a merged HKEY_CLASSES_ROOT key, valid while both sides are unchanged.
    std::vector<std::u16string> merged;
    KeyNode* mergedA = nullptr;
    KeyNode* mergedB = nullptr;
    std::uint32_t genA = 0, genB = 0;
    bool mergedValid = false;
  };

  static bool IsPredefined(HKEY key) { return key >= HKEY_CLASSES_ROOT && key <= 0x80000006u; }

  bool View32(REGSAM sam) const {
    if (!x64_ || (sam & KEY_WOW64_64KEY)) return false;
    if (sam & KEY_WOW64_32KEY) return true;
    return defaultView32_;
  }

  HKEY NewHandle(KeyRef ref, REGSAM granted) {
    std::uint32_t idx;
    if (!free_.empty()) {
      idx = free_.back();
      free_.pop_back();
    } else {
      idx = static_cast<std::uint32_t>(handles_.size());
      handles_.emplace_back();
    }
    Handle& h = handles_[idx];
    if (ref.a) store_.AddRef(ref.a);
    if (ref.b) store_.AddRef(ref.b);
    h.ref = std::move(ref);
    h.granted = granted;
    h.used = true;
    h.mergedValid = false;
    return (static_cast<HKEY>(h.gen) << 32) | (static_cast<HKEY>(idx + 1) << 2);
  }

  Handle* Find(HKEY key) {
    const std::uint64_t low = key & 0xFFFFFFFFu;
    const std::uint32_t gen = static_cast<std::uint32_t>(static_cast<std::uint64_t>(key) >> 32);
    if (low == 0 || (low & 3) != 0) return nullptr;
    const std::uint64_t idx = (low >> 2) - 1;
    if (idx >= handles_.size()) return nullptr;
    Handle& h = handles_[idx];
    if (!h.used || h.gen != gen) return nullptr;
    return &h;
  }

  void ReleaseRef(const KeyRef& ref) {
    if (ref.a) store_.Release(ref.a);
    if (ref.b) store_.Release(ref.b);
  }

  // Follows a path physically from nodes, without view rules. Links are followed except for
  // the last name when openLink is set.
  KeyNode* FollowLink(KeyNode* n) { return n && n->isLink ? n->link : n; }

  // The predefined roots as keys.
  // Predefined keys are resolved again only when the tree's structure has changed.
  LSTATUS RootRef(HKEY key, KeyRef* out) {
    RootCache& cached = rootCache_[key - HKEY_CLASSES_ROOT];
    if (cached.generation != store_.StructureGeneration()) {
      cached.status = ResolveRoot(key, &cached.ref);
      cached.generation = store_.StructureGeneration();
    }
    if (cached.status == ERROR_SUCCESS) *out = cached.ref;
    return cached.status;
  }

  LSTATUS ResolveRoot(HKEY key, KeyRef* out) {
    KeyRef r;
    switch (key) {
      case HKEY_LOCAL_MACHINE:
        r.a = store_.MachineRoot();
        r.space = ViewSpace::kMachine;
        break;
      case HKEY_USERS:
        r.a = store_.UsersRoot();
        r.space = ViewSpace::kUsers;
        break;
      case HKEY_CURRENT_USER:
        r.a = store_.Child(store_.UsersRoot(), sid_);
        r.space = ViewSpace::kUsers;
        r.logical = sid_;
        if (!r.a) return ERROR_FILE_NOT_FOUND;
        break;
      case HKEY_CLASSES_ROOT: {
        r.merged = true;
        r.a = store_.Child(store_.UsersRoot(), sid_ + u"_Classes");
        KeyNode* sw = store_.Child(store_.MachineRoot(), u"SOFTWARE");
        r.b = sw ? FollowLink(store_.Child(sw, u"Classes")) : nullptr;
        r.space = ViewSpace::kClasses;
        if (!r.a && !r.b) return ERROR_FILE_NOT_FOUND;
        break;
      }
      case HKEY_CURRENT_CONFIG: {
        KeyNode* n = store_.Child(store_.MachineRoot(), u"SYSTEM");
        for (const char16_t* part : {u"CurrentControlSet", u"Hardware Profiles", u"Current"}) {
          n = n ? FollowLink(store_.Child(n, part)) : nullptr;
        }
        if (!n) return ERROR_FILE_NOT_FOUND;
        r.a = n;
        *out = r;
        return ERROR_SUCCESS;
      }
      default:
        return ERROR_INVALID_HANDLE;
    }
    r.tracked = x64_;
    if (!r.tracked) r.logical.clear();
    *out = std::move(r);
    return ERROR_SUCCESS;
  }

  // The key behind a handle; *h gets the handle (null for a predefined root).
  LSTATUS Resolve(HKEY key, KeyRef* out, Handle** h) {
    if (h) *h = nullptr;
    if (IsPredefined(key)) return RootRef(key, out);
    Handle* found = Find(key);
    if (!found) return ERROR_INVALID_HANDLE;
    if (found->ref.Deleted()) return ERROR_KEY_DELETED;
    if (h) *h = found;
    *out = found->ref;
    return ERROR_SUCCESS;
  }

  // Resolve and check that the handle grants the right for this operation.
  LSTATUS Use(HKEY key, REGSAM right, KeyRef* out, Handle** h) {
    Handle* handle = nullptr;
    if (LSTATUS st = Resolve(key, out, &handle); st != ERROR_SUCCESS) return st;
    if (h) *h = handle;
    const REGSAM granted = handle ? handle->granted : RootAccess(*out);
    if ((granted & right) != right) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
  }

  // Predefined handles are opened with MAXIMUM_ALLOWED.
  REGSAM RootAccess(const KeyRef& ref) const {
    return KEY_READ | (CanWrite(ref.Primary()) ? KEY_ALL_ACCESS : 0);
  }

  bool CanWrite(const KeyNode* n) const {
    if (!n || n == store_.MachineRoot() || n == store_.UsersRoot() || n->deleted) return false;
    if (!n->hive || n->hive->ownerSid.empty()) return machineAdmin_;
    return machineAdmin_ || EqualsNoCase(n->hive->ownerSid, sid_);
  }

  bool Denied(const KeyNode* n) const {
    if (denied_.empty() || !n) return false;
    const std::u16string path = store_.FullPath(n);
    for (const auto& d : denied_) {
      if (PathWithin(path, d)) return true;
    }
    return false;
  }

  bool Writable(const KeyNode* n) const { return CanWrite(n) && !Denied(n); }

  LSTATUS Grant(const KeyRef& ref, REGSAM sam, REGSAM* granted) {
    REGSAM rights = KeyRights(sam);
    const bool maximum = (rights & MAXIMUM_ALLOWED) != 0;
    rights &= ~MAXIMUM_ALLOWED;
    const bool writable = Writable(ref.Primary());
    if ((rights & kWriteAccess) && !writable) return ERROR_ACCESS_DENIED;
    if (maximum) rights |= KEY_READ | (writable ? KEY_ALL_ACCESS : 0);
    *granted = rights;
    return ERROR_SUCCESS;
  }

  // One name below a key, physically; creates it when asked. For a merged key both sides are
  // looked at and a new key goes to the machine's side when the parent is there.
  LSTATUS Step(KeyRef* cur, std::u16string_view name, bool create, bool isVolatile, bool openLink,
               bool* created) {
    auto child = [&](KeyNode* parent) -> KeyNode* {
      if (!parent) return nullptr;
      KeyNode* n = store_.Child(parent, name);
      return openLink ? n : FollowLink(n);
    };
    auto make = [&](KeyNode* parent, KeyNode** out) -> LSTATUS {
      if (!Writable(parent)) return ERROR_ACCESS_DENIED;
      if (name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
      LSTATUS st = store_.CreateChild(parent, name, isVolatile, out);
      if (st == ERROR_SUCCESS) *created = true;
      return st;
    };
    if (cur->merged) {
      KeyNode* na = child(cur->a);
      KeyNode* nb = child(cur->b);
      if (!na && !nb) {
        if (!create) return ERROR_FILE_NOT_FOUND;
        KeyNode* made = nullptr;
        const bool onMachine = cur->b != nullptr;
        if (LSTATUS st = make(onMachine ? cur->b : cur->a, &made); st != ERROR_SUCCESS) return st;
        (onMachine ? nb : na) = made;
      }
      cur->a = na;
      cur->b = nb;
      return ERROR_SUCCESS;
    }
    KeyNode* n = child(cur->a);
    if (!n) {
      if (cur->a && cur->a->hive && cur->a->hive->damaged) return ERROR_BADDB;
      if (!create) return ERROR_FILE_NOT_FOUND;
      if (LSTATUS st = make(cur->a, &n); st != ERROR_SUCCESS) return st;
    }
    cur->a = n;
    return ERROR_SUCCESS;
  }

  // The key for the space's root, for walks that restart from it.
  KeyRef SpaceRoot(ViewSpace space) {
    KeyRef r;
    switch (space) {
      case ViewSpace::kMachine:
        RootRef(HKEY_LOCAL_MACHINE, &r);
        break;
      case ViewSpace::kUsers:
        RootRef(HKEY_USERS, &r);
        break;
      case ViewSpace::kClasses:
        RootRef(HKEY_CLASSES_ROOT, &r);
        break;
    }
    r.tracked = false;
    return r;
  }

  LSTATUS Walk(const KeyRef& from, const std::vector<std::u16string_view>& parts, bool view32,
               bool create, bool isVolatile, bool openLink, KeyRef* out, bool* created) {
    KeyRef cur = from;
    bool made = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const bool last = i + 1 == parts.size();
      if (cur.Deleted()) return ERROR_KEY_DELETED;
      if (!create && parts[i].size() > kMaxKeyNameLength) return ERROR_FILE_NOT_FOUND;
      made = false;
      if (cur.tracked && (view32 || !cur.wowSide)) {
        // A view rule may apply: map the whole logical path and walk it from the root.
        std::u16string logical = cur.logical;
        if (!logical.empty()) logical += u'\\';
        logical += parts[i];
        const auto comps = SplitAll(logical, u'\\');
        const ViewMapping m = MapView(cur.space, comps, view32);
        KeyRef next = SpaceRoot(cur.space);
        for (std::size_t j = 0; j < m.physical.size(); ++j) {
          const bool lastPhysical = j + 1 == m.physical.size();
          if (LSTATUS st = Step(&next, m.physical[j], create, isVolatile,
                                openLink && last && lastPhysical, &made);
              st != ERROR_SUCCESS) {
            return st;
          }
        }
        next.tracked = !m.settled;
        next.space = cur.space;
        next.wowSide = m.physical.size() != comps.size();
        if (next.tracked) next.logical = std::move(logical);
        cur = std::move(next);
      } else {
        cur.tracked = false;
        cur.logical.clear();
        if (LSTATUS st = Step(&cur, parts[i], create, isVolatile, openLink && last, &made);
            st != ERROR_SUCCESS) {
          return st;
        }
      }
    }
    if (cur.Deleted()) return ERROR_KEY_DELETED;
    if (created) *created = made;
    *out = std::move(cur);
    return ERROR_SUCCESS;
  }

  // The key named by key and subKey in the view of sam (or the process's default view).
  LSTATUS Target(HKEY key, std::u16string_view subKey, REGSAM sam, KeyRef* out) {
    KeyRef base;
    if (LSTATUS st = Resolve(key, &base, nullptr); st != ERROR_SUCCESS) return st;
    std::vector<std::u16string_view> parts;
    if (LSTATUS st = SplitKeyPath(subKey, &parts); st != ERROR_SUCCESS) return st;
    return Walk(base, parts, View32(sam), false, false, false, out, nullptr);
  }

  bool Deletable(const KeyNode* n) const {
    return n && n->parent && !n->mountPoint && n != store_.MachineRoot() &&
           n != store_.UsersRoot() && Writable(n);
  }

  LSTATUS DeleteKey(HKEY key, std::u16string_view subKey, REGSAM sam) {
    std::lock_guard<std::mutex> lock(store_.Mutex());
    store_.RefreshIfChanged();
    KeyRef target;
    if (LSTATUS st = Target(key, subKey, sam, &target); st != ERROR_SUCCESS) return st;
    KeyNode* node = target.a ? target.a : target.b;
    if (!Deletable(node)) return ERROR_ACCESS_DENIED;
    if (!store_.LoadChildren(node)) return ERROR_BADDB;
    // Windows refuses to delete a key that still has sub-keys.
    if (!node->children.empty()) return ERROR_ACCESS_DENIED;
    return store_.DeleteTree(node);
  }

  // Deletes sub-keys first, stopping at the first key this process may not delete.
  LSTATUS DeleteChecked(KeyNode* node) {
    if (!store_.LoadChildren(node)) return ERROR_BADDB;
    while (!node->children.empty()) {
      if (LSTATUS st = DeleteChecked(node->children.front().get()); st != ERROR_SUCCESS) {
        return st;
      }
    }
    if (!Deletable(node)) return ERROR_ACCESS_DENIED;
    return store_.DeleteTree(node);
  }

  LSTATUS HiveParent(HKEY key, KeyNode** root) {
    KeyRef ref;
    if (LSTATUS st = Resolve(key, &ref, nullptr); st != ERROR_SUCCESS) return st;
    KeyNode* n = ref.Primary();
    if (ref.merged || (n != store_.MachineRoot() && n != store_.UsersRoot())) {
      return ERROR_INVALID_PARAMETER;
    }
    *root = n;
    return ERROR_SUCCESS;
  }

  LSTATUS CopyData(KeyNode* node, const KeyValue& v, std::uint8_t* data, DWORD* cbData) {
    if (!cbData) return ERROR_SUCCESS;
    if (!data) {
      *cbData = v.size;
      return ERROR_SUCCESS;
    }
    if (*cbData < v.size) {
      *cbData = v.size;
      return ERROR_MORE_DATA;
    }
    *cbData = v.size;
    return store_.ReadValue(node, v, data, v.size);
  }

  const std::vector<std::u16string>* MergedNames(Handle* h, const KeyRef& ref) {
    if (h && h->mergedValid && h->mergedA == ref.a && h->mergedB == ref.b &&
        (!ref.a || h->genA == ref.a->childGen) && (!ref.b || h->genB == ref.b->childGen)) {
      return &h->merged;
    }
    std::vector<std::u16string> names;
    for (KeyNode* side : {ref.a, ref.b}) {
      if (!side) continue;
      if (!store_.LoadChildren(side)) return nullptr;
      for (const auto& c : side->children) names.push_back(c->name);
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& x, const auto& y) { return CompareNames(x, y) < 0; });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const auto& x, const auto& y) { return SameName(x, y); }),
                names.end());
    if (!h) {
      scratchNames_ = std::move(names);
      return &scratchNames_;
    }
    h->merged = std::move(names);
    h->mergedA = ref.a;
    h->mergedB = ref.b;
    h->genA = ref.a ? ref.a->childGen : 0;
    h->genB = ref.b ? ref.b->childGen : 0;
    h->mergedValid = true;
    return &h->merged;
  }

  LSTATUS WriteNewFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND;
    if (!WriteAll(fd, bytes)) {
      ::close(fd);
      ::unlink(file.c_str());
      return ERROR_WRITE_FAULT;
    }
    ::fsync(fd);
    ::close(fd);
    return ERROR_SUCCESS;
  }

  // The name of the control set CurrentControlSet stands for.
  std::u16string CurrentControlSetName() {
    KeyNode* system = store_.Child(store_.MachineRoot(), u"SYSTEM");
    KeyNode* link = system ? store_.Child(system, u"CurrentControlSet") : nullptr;
    return link && link->isLink && link->link ? link->link->name : std::u16string(u"ControlSet001");
  }

  // A full key name as the descriptor writes it, as the physical path(s) it stands for.
  void Canonical(std::u16string_view full, std::vector<std::u16string>* out) {
    const auto [root, rest, hasRest] = SplitFirst(full, u'\\');
    std::u16string tail(rest);
    auto add = [&](std::u16string prefix, std::u16string_view sub) {
      std::u16string p = std::move(prefix);
      if (!sub.empty()) p += u"\\" + std::u16string(sub);
      // CurrentControlSet and HKCU\Software\Classes are links.
      const std::u16string ccs = u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet";
      if (PathWithin(p, ccs)) {
        p = u"HKEY_LOCAL_MACHINE\\SYSTEM\\" + CurrentControlSetName() + p.substr(ccs.size());
      }
      const std::u16string userClasses = u"HKEY_USERS\\" + sid_ + u"\\Software\\Classes";
      if (PathWithin(p, userClasses)) {
        p = u"HKEY_USERS\\" + sid_ + u"_Classes" + p.substr(userClasses.size());
      }
      out->push_back(std::move(p));
    };
    if (EqualsNoCase(root, u"HKEY_LOCAL_MACHINE") || EqualsNoCase(root, u"HKLM")) {
      add(u"HKEY_LOCAL_MACHINE", tail);
    } else if (EqualsNoCase(root, u"HKEY_USERS") || EqualsNoCase(root, u"HKU")) {
      add(u"HKEY_USERS", tail);
    } else if (EqualsNoCase(root, u"HKEY_CURRENT_USER") || EqualsNoCase(root, u"HKCU")) {
      add(u"HKEY_USERS\\" + sid_, tail);
    } else if (EqualsNoCase(root, u"HKEY_CLASSES_ROOT") || EqualsNoCase(root, u"HKCR")) {
      add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", tail);
      add(u"HKEY_USERS\\" + sid_ + u"_Classes", tail);
    } else if (EqualsNoCase(root, u"HKEY_CURRENT_CONFIG") || EqualsNoCase(root, u"HKCC")) {
      add(u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current", tail);
    }
  }

  std::vector<std::u16string> DefaultProtectedKeys() const {
    std::vector<std::u16string> keys;
    const std::u16string classes = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
    const char16_t* system[] = {
        u"CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
        u"CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}",
        u"CLSID\\{00021401-0000-0000-C000-000000000046}",
        u"CLSID\\{871C5380-42A0-1069-A2EA-08002B30309D}",
        u"Interface\\{00000000-0000-0000-C000-000000000046}",
        u"Interface\\{00020400-0000-0000-C000-000000000046}",
    };
    for (const char16_t* k : system) {
      keys.push_back(classes + k);
      if (x64_) keys.push_back(classes + u"Wow6432Node\\" + k);
    }
    for (const char16_t* k : {u"TypeLib\\{00020430-0000-0000-C000-000000000046}", u".exe",
                              u"exefile", u".txt", u"txtfile", u".reg", u"regfile"}) {
      keys.push_back(classes + k);
    }
    keys.push_back(
        u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
    keys.push_back(
        u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs");
    return keys;
  }

  // The physical full name of a key (existing or not) in the chosen view.
  bool LogicalToPhysicalText(HKEY key, std::u16string_view subKey, bool view32,
                             std::u16string* out) {
    std::vector<std::u16string_view> parts;
    if (SplitKeyPath(subKey, &parts) != ERROR_SUCCESS) return false;
    std::u16string prefix;
    ViewSpace space = ViewSpace::kMachine;
    std::vector<std::u16string_view> logical;
    std::u16string sidStore = sid_;
    switch (key) {
      case HKEY_LOCAL_MACHINE:
        prefix = u"HKEY_LOCAL_MACHINE";
        break;
      case HKEY_USERS:
        prefix = u"HKEY_USERS";
        space = ViewSpace::kUsers;
        break;
      case HKEY_CURRENT_USER:
        prefix = u"HKEY_USERS";
        space = ViewSpace::kUsers;
        logical.push_back(sidStore);
        break;
      case HKEY_CLASSES_ROOT:
        prefix = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
        space = ViewSpace::kClasses;
        break;
      default: {
        Handle* h = Find(key);
        if (!h || h->ref.Deleted()) return false;
        *out = store_.FullPath(h->ref.Primary());
        for (auto p : parts) *out += u"\\" + std::u16string(p);
        return true;
      }
    }
    logical.insert(logical.end(), parts.begin(), parts.end());
    const ViewMapping m = x64_ ? MapView(space, logical, view32) : ViewMapping{};
    std::vector<std::u16string_view> physical(logical);
    if (x64_) physical.assign(m.physical.begin(), m.physical.end());
    std::u16string path = prefix;
    if (!physical.empty()) path += u"\\" + Join(physical);
    std::vector<std::u16string> canon;
    Canonical(path, &canon);
    *out = canon.empty() ? path : canon.front();
    return true;
  }

  SimProcess& process_;
  RegistryState& state_;
  RegistryStore& store_;
  const MachineDescriptor& d_;
  bool machineAdmin_ = false;
  bool x64_ = false;
  bool defaultView32_ = false;
  std::u16string sid_;
  std::vector<std::u16string> denied_;
  std::vector<std::u16string> protected_;
  std::vector<Handle> handles_;
  std::vector<std::uint32_t> free_;
  std::vector<std::u16string> scratchNames_;
  std::vector<std::u16string_view> parts_;
  struct RootCache {
    std::uint64_t generation = ~std::uint64_t{0};
    LSTATUS status = ERROR_INVALID_HANDLE;
    KeyRef ref;
  };
  std::array<RootCache, 7> rootCache_;  // HKEY_CLASSES_ROOT .. HKEY_CURRENT_CONFIG  // reused by
                                        // opens (the store's lock is held)
};

}  // namespace

std::unique_ptr<IRegistry> MakeSimRegistry(SimProcess& process) {
  return std::make_unique<SimRegistry>(process);
}

}  // namespace bc::platform::sim
