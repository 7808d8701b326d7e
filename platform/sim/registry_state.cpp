#include "platform/sim/registry_state.h"

#include <map>

#include "base/text.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"

namespace bc::platform::sim {

RegistryState::RegistryState(std::unique_ptr<RegistryStore> store) : store_(std::move(store)) {}

RegistryState::~RegistryState() = default;

std::unique_ptr<RegistryState> RegistryState::Mount(SimMachine& machine, std::string* error) {
  auto store = std::make_unique<RegistryStore>(machine.Folder(), machine.Descriptor());
  {
    std::lock_guard<std::mutex> lock(store->Mutex());
    if (!store->MountMachine(error)) return nullptr;
    const UserAccount* user = machine.Descriptor().CurrentUser();
    if (user && !store->MountUser(*user, error)) return nullptr;
  }
  return std::unique_ptr<RegistryState>(new RegistryState(std::move(store)));
}

bool RegistryState::Flush(std::string* error) {
  std::lock_guard<std::mutex> lock(store_->Mutex());
  return store_->FlushAll(error) == ERROR_SUCCESS;
}

void RegistryState::SetLazyFlushDelay(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(store_->Mutex());
  store_->SetLazyFlushDelay(delay);
}

bool RegistryState::LoadUserHives(const UserAccount& user, std::string* error) {
  std::lock_guard<std::mutex> lock(store_->Mutex());
  return store_->MountUser(user, error);
}

std::vector<RegistryState::MountedHive> RegistryState::MountedHives() const {
  std::lock_guard<std::mutex> lock(store_->Mutex());
  std::vector<MountedHive> out;
  for (const auto& h : store_->Hives()) {
    out.push_back({h->nativeName, h->windowsPath, h->file->Path(), h->dirty, h->damaged});
  }
  return out;
}

namespace {

struct BulkOp {
  const RegFileOp* op;
  std::vector<std::u16string> path;  // below the hive's root
};

// Finds the hive holding a full key name (native view, links followed) and the path in it.
Hive* Locate(RegistryStore& store, const MachineDescriptor& d, std::u16string_view full,
             std::vector<std::u16string>* path) {
  const auto parts = SplitAll(full, u'\\');
  if (parts.empty()) return nullptr;
  std::vector<std::u16string> names;
  KeyNode* node = nullptr;
  const std::u16string_view root = parts[0];
  if (root == u"HKEY_LOCAL_MACHINE") {
    node = store.MachineRoot();
  } else if (root == u"HKEY_USERS") {
    node = store.UsersRoot();
  } else if (root == u"HKEY_CURRENT_USER") {
    node = store.UsersRoot();
    names.push_back(d.CurrentUser()->sid);
  } else if (root == u"HKEY_CLASSES_ROOT") {
    node = store.MachineRoot();
    names = {u"SOFTWARE", u"Classes"};
  } else if (root == u"HKEY_CURRENT_CONFIG") {
    node = store.MachineRoot();
    names = {u"SYSTEM", u"CurrentControlSet", u"Hardware Profiles", u"Current"};
  } else {
    return nullptr;
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (!parts[i].empty()) names.emplace_back(parts[i]);
  }
  std::size_t i = 0;
  for (; i < names.size(); ++i) {
    KeyNode* next = store.Child(node, names[i]);
    if (next && next->isLink) next = next->link;
    if (!next) break;
    node = next;
  }
  if (!node->hive || node->isVolatile) return nullptr;
  path->clear();
  for (const KeyNode* n = node; n && !n->mountPoint; n = n->parent) path->push_back(n->name);
  std::reverse(path->begin(), path->end());
  for (; i < names.size(); ++i) path->push_back(names[i]);
  return node->hive;
}

void Apply(HiveKey& root, const BulkOp& b) {
  HiveKey* key = nullptr;
  switch (b.op->kind) {
    case RegFileOp::Kind::kCreateKey:
      key = &root;
      for (const auto& p : b.path) key = &key->Subkey(p);
      break;
    case RegFileOp::Kind::kDeleteKey: {
      if (b.path.empty()) break;
      HiveKey* parent = &root;
      for (std::size_t i = 0; parent && i + 1 < b.path.size(); ++i) {
        parent = parent->FindSubkey(b.path[i]);
      }
      if (parent) parent->RemoveSubkey(b.path.back());
      break;
    }
    case RegFileOp::Kind::kSetValue:
      key = &root;
      for (const auto& p : b.path) key = &key->Subkey(p);
      key->SetValue(b.op->valueName, b.op->type, b.op->data);
      break;
    case RegFileOp::Kind::kDeleteValue:
      key = &root;
      for (const auto& p : b.path) {
        key = key->FindSubkey(p);
        if (!key) return;
      }
      key->RemoveValue(b.op->valueName);
      break;
  }
}

}  // namespace

bool RegistryState::ImportBulk(const std::vector<RegFileOp>& ops, std::size_t* failed,
                               std::string* error) {
  std::lock_guard<std::mutex> lock(store_->Mutex());
  std::size_t bad = 0;
  std::map<Hive*, std::vector<BulkOp>> byHive;
  std::vector<Hive*> order;
  for (const RegFileOp& op : ops) {
    BulkOp b{&op, {}};
    Hive* hive = Locate(*store_, store_->Descriptor(), op.key, &b.path);
    if (!hive) {
      if (bad++ == 0 && error) {
        *error =
            "line " + std::to_string(op.line) + ": " + Utf16ToUtf8(op.key) + ": not in a hive file";
      }
      continue;
    }
    if (!byHive.count(hive)) order.push_back(hive);
    byHive[hive].push_back(std::move(b));
  }
  bool ok = true;
  for (Hive* hive : order) {
    const auto& list = byHive[hive];
    std::string why;
    if (store_->RewriteHive(
            hive,
            [&](HiveKey& root) {
              for (const auto& b : list) Apply(root, b);
            },
            &why) != ERROR_SUCCESS) {
      if (ok && error) *error = why;
      ok = false;
      bad += list.size();
    }
  }
  if (failed) *failed = bad;
  return ok && bad == 0;
}

}  // namespace bc::platform::sim
