#include "platform/sim/registry_regfile.h"

#include "base/text.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_state.h"

namespace bc::platform::sim {
namespace {

struct Root {
  std::u16string_view name;
  HKEY key;
};
constexpr Root kRoots[] = {
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {u"HKEY_USERS", HKEY_USERS},
    {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

std::string Describe(const RegFileOp& op, LSTATUS st) {
  return "line " + std::to_string(op.line) + ": " + Utf16ToUtf8(op.key) + ": error " +
         std::to_string(st);
}

// Keeps the last key open, since consecutive values usually share it.
class KeyCache {
 public:
  explicit KeyCache(IRegistry& r) : r_(r) {}
  ~KeyCache() { Close(); }
  LSTATUS Create(HKEY root, std::u16string_view path, HKEY* out) {
    if (key_ && root == root_ && path == path_) {
      *out = key_;
      return ERROR_SUCCESS;
    }
    Close();
    const LSTATUS st = r_.RegCreateKeyExW(root, path, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                          &key_, nullptr);
    if (st != ERROR_SUCCESS) {
      key_ = kNullKey;
      return st;
    }
    root_ = root;
    path_ = path;
    *out = key_;
    return ERROR_SUCCESS;
  }
  void Close() {
    if (key_) r_.RegCloseKey(key_);
    key_ = kNullKey;
  }

 private:
  IRegistry& r_;
  HKEY key_ = kNullKey;
  HKEY root_ = kNullKey;
  std::u16string path_;
};

void ExportKey(IRegistry& r, HKEY key, const std::u16string& fullName, REGSAM view,
               RegFileWriter& out) {
  out.AddKeyHeader(fullName);
  RegKeyInfo info;
  const bool queried = r.RegQueryInfoKeyW(key, &info) == ERROR_SUCCESS;
  std::vector<char16_t> name(queried ? info.maxValueNameLen + 2 : 16384);
  std::vector<std::uint8_t> data(queried ? std::max<DWORD>(info.maxValueLen, 1) : 1);
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(name.size());
    DWORD cb = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LSTATUS st = r.RegEnumValueW(key, i, name.data(), &cch, &type, data.data(), &cb);
    if (st == ERROR_MORE_DATA) {
      data.resize(cb);
      name.resize(name.size() * 2);
      cch = static_cast<DWORD>(name.size());
      st = r.RegEnumValueW(key, i, name.data(), &cch, &type, data.data(), &cb);
    }
    if (st != ERROR_SUCCESS) break;
    out.AddValue({name.data(), cch}, type, {data.data(), cb});
  }
  std::vector<char16_t> sub(queried ? info.maxSubKeyLen + 2 : 256);
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(sub.size());
    const LSTATUS st = r.RegEnumKeyExW(key, i, sub.data(), &cch);
    if (st == ERROR_NO_MORE_ITEMS) break;
    if (st != ERROR_SUCCESS) continue;
    const std::u16string child(sub.data(), cch);
    HKEY k = kNullKey;
    if (r.RegOpenKeyExW(key, child, 0, KEY_READ | view, &k) != ERROR_SUCCESS) continue;
    ExportKey(r, k, fullName + u"\\" + child, view, out);
    r.RegCloseKey(k);
  }
}

}  // namespace

HKEY RootFromName(std::u16string_view name) {
  for (const Root& root : kRoots) {
    if (name == root.name) return root.key;
  }
  return kNullKey;
}

std::size_t ImportRegOps(IRegistry& r, const std::vector<RegFileOp>& ops, std::string* firstError) {
  std::size_t failed = 0;
  auto fail = [&](const RegFileOp& op, LSTATUS st) {
    if (failed++ == 0 && firstError) *firstError = Describe(op, st);
  };
  KeyCache cache(r);
  for (const RegFileOp& op : ops) {
    const auto [rootName, path, hasPath] = SplitFirst(op.key, u'\\');
    const HKEY root = RootFromName(rootName);
    if (!root) {
      fail(op, ERROR_INVALID_PARAMETER);
      continue;
    }
    HKEY key = kNullKey;
    LSTATUS st = ERROR_SUCCESS;
    switch (op.kind) {
      case RegFileOp::Kind::kCreateKey:
        st = cache.Create(root, path, &key);
        break;
      case RegFileOp::Kind::kDeleteKey:
        cache.Close();
        st = r.SHDeleteKeyW(root, path);
        if (st == ERROR_FILE_NOT_FOUND) st = ERROR_SUCCESS;
        break;
      case RegFileOp::Kind::kSetValue:
        st = cache.Create(root, path, &key);
        if (st == ERROR_SUCCESS) {
          st = r.RegSetValueExW(key, op.valueName, op.type, op.data.data(),
                                static_cast<DWORD>(op.data.size()));
        }
        break;
      case RegFileOp::Kind::kDeleteValue: {
        cache.Close();
        HKEY k = kNullKey;
        st = r.RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, &k);
        if (st == ERROR_SUCCESS) {
          st = r.RegDeleteValueW(k, op.valueName);
          r.RegCloseKey(k);
        }
        if (st == ERROR_FILE_NOT_FOUND) st = ERROR_SUCCESS;
        break;
      }
    }
    if (st != ERROR_SUCCESS) fail(op, st);
  }
  return failed;
}

bool ExportRegKey(IRegistry& r, std::u16string_view fullKeyName, REGSAM view, RegFileWriter& out) {
  const auto [rootName, path, hasPath] = SplitFirst(fullKeyName, u'\\');
  const HKEY root = RootFromName(rootName);
  if (!root) return false;
  HKEY key = kNullKey;
  if (r.RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  std::u16string name(rootName);
  if (!path.empty()) name += u"\\" + std::u16string(path);
  ExportKey(r, key, name, view, out);
  r.RegCloseKey(key);
  return true;
}

std::size_t ImportIntoMachine(SimMachine& machine, const std::vector<RegFileOp>& ops,
                              std::string* firstError) {
  const UserAccount* user = machine.Descriptor().CurrentUser();
  if (ops.size() < kBulkImportFrom && user && user->admin) {
    const std::u16string editor = machine.Descriptor().WindowsDirectory() + u"\\regedit.exe";
    auto p = machine.StartProcess({u"", true, machine.Descriptor().Is64Bit(), editor, editor});
    if (p) return ImportRegOps(p->Registry(), ops, firstError);
  }
  std::size_t failed = 0;
  machine.Registry().ImportBulk(ops, &failed, firstError);
  return failed;
}

void ExportRegistry(IRegistry& r, REGSAM view, RegFileWriter& out) {
  ExportRegKey(r, u"HKEY_LOCAL_MACHINE", view, out);
  ExportRegKey(r, u"HKEY_USERS", view, out);
}

}  // namespace bc::platform::sim
