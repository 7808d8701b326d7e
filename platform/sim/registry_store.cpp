#include "platform/sim/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "platform/sim/registry_layout.h"
#include "platform/sim/registry_paths.h"

namespace bc::platform::sim {
namespace {

using hive::CompareNames;
using hive::SameName;

constexpr std::size_t kIndexFrom = 8;  // keys with more values than this get a hash index
// Keys with at least this many sub-keys look them up by hash rather than binary search.
constexpr std::size_t kChildIndexFrom = 256;
// In-place edits may leave this much dead space in a hive before it is rewritten compactly.
constexpr std::uint64_t kEditWasteBudget = 1u << 20;

HiveKey* FindHivePath(HiveKey& root, const std::vector<std::u16string>& path) {
  HiveKey* key = &root;
  for (const auto& p : path) {
    key = key->FindSubkey(p);
    if (!key) return nullptr;
  }
  return key;
}

// One journal entry applied to a hive read as a tree. Edits of keys that are gone (another
// process deleted them) are dropped, as Replay drops them.
void ApplyJournalOp(HiveKey& root, const JournalOp& op) {
  switch (op.kind) {
    case JournalOp::Kind::kCreateKey: {
      HiveKey* key = &root;
      for (const auto& p : op.path) key = &key->Subkey(p);
      break;
    }
    case JournalOp::Kind::kDeleteKey: {
      if (op.path.empty()) break;
      HiveKey* parent =
          FindHivePath(root, std::vector<std::u16string>(op.path.begin(), op.path.end() - 1));
      if (parent) parent->RemoveSubkey(op.path.back());
      break;
    }
    case JournalOp::Kind::kSetValue:
      if (HiveKey* key = FindHivePath(root, op.path)) key->SetValue(op.valueName, op.type, op.data);
      break;
    case JournalOp::Kind::kDeleteValue:
      if (HiveKey* key = FindHivePath(root, op.path)) key->RemoveValue(op.valueName);
      break;
  }
}

// Serialises hive writes of every process working on one machine folder.
class MachineLock {
 public:
  explicit MachineLock(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / ".registry.lock";
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~MachineLock() {
    if (fd_ >= 0) {
      ::flock(fd_, LOCK_UN);
      ::close(fd_);
    }
  }
  MachineLock(const MachineLock&) = delete;
  MachineLock& operator=(const MachineLock&) = delete;

 private:
  int fd_ = -1;
};

bool NodeLess(const std::unique_ptr<KeyNode>& a, const std::unique_ptr<KeyNode>& b) {
  return CompareNames(a->name, b->name) < 0;
}

// Sub-keys are kept sorted (each segment), so a name is found by binary search.
KeyNode* FindSorted(const std::vector<std::unique_ptr<KeyNode>>& kids, std::size_t first,
                    std::size_t last, std::u16string_view name) {
  const auto begin = kids.begin() + static_cast<std::ptrdiff_t>(first);
  const auto end = kids.begin() + static_cast<std::ptrdiff_t>(last);
  const auto it = std::lower_bound(begin, end, name, [](const auto& c, std::u16string_view n) {
    return CompareNames(c->name, n) < 0;
  });
  return it != end && SameName((*it)->name, name) ? it->get() : nullptr;
}

void SortChildren(KeyNode* node) {
  // Hives written in the registry's own order need no sorting.
  if (!std::is_sorted(node->children.begin(), node->children.end(), NodeLess)) {
    std::sort(node->children.begin(), node->children.end(), NodeLess);
  }
}

void BuildValueIndex(KeyNode* node) {
  if (node->values.size() < kIndexFrom) {
    node->valueIndex.reset();
    return;
  }
  node->valueIndex = std::make_unique<ValueIndex>();
  node->valueIndex->reserve(node->values.size() * 2);
  for (std::uint32_t i = 0; i < node->values.size(); ++i) {
    node->valueIndex->emplace(node->values[i].name, i);
  }
}

KeyValue* FindLoadedValue(KeyNode* node, std::u16string_view name) {
  if (node->valueIndex) {
    auto it = node->valueIndex->find(name);
    return it == node->valueIndex->end() ? nullptr : &node->values[it->second];
  }
  for (auto& v : node->values) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

// Values kept with their data in memory: those of volatile keys, and the edits a hive defers.
// Expects the key's values loaded.
void SetValueInMemory(KeyNode* node, std::u16string_view name, DWORD type,
                      std::span<const std::uint8_t> data) {
  if (KeyValue* v = FindLoadedValue(node, name)) {
    v->type = type;
    v->size = static_cast<DWORD>(data.size());
    v->handle = 0;
    v->data.assign(data.begin(), data.end());
    return;
  }
  node->values.push_back(
      {std::u16string(name), type, static_cast<DWORD>(data.size()), 0, {data.begin(), data.end()}});
  BuildValueIndex(node);
}

bool DeleteValueInMemory(KeyNode* node, std::u16string_view name) {
  KeyValue* v = FindLoadedValue(node, name);
  if (!v) return false;
  node->values.erase(node->values.begin() + (v - node->values.data()));
  BuildValueIndex(node);
  return true;
}

void DropValues(KeyNode* node) {
  node->valuesLoaded = false;
  std::vector<KeyValue>().swap(node->values);
  node->valueIndex.reset();
}

}  // namespace

RegistryStore::RegistryStore(std::filesystem::path machineFolder,
                             const MachineDescriptor& descriptor)
    : folder_(std::move(machineFolder)), descriptor_(descriptor) {
  top_ = std::make_unique<KeyNode>();
  top_->name = u"REGISTRY";
  top_->childrenLoaded = top_->valuesLoaded = true;
  top_->isVolatile = true;
  machine_ = NewChild(top_.get(), u"MACHINE", nullptr, 0, true);
  users_ = NewChild(top_.get(), u"USER", nullptr, 0, true);
}

RegistryStore::~RegistryStore() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopFlusher_ = true;
  }
  flushWake_.notify_all();
  if (flusher_.joinable()) flusher_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  FlushAll(nullptr);
}

FileTime RegistryStore::Now() const {
  return MachineFileTime(descriptor_);
}

// ---- tree ----

KeyNode* RegistryStore::NewChild(KeyNode* parent, std::u16string name, Hive* hive,
                                 hive_node_h hnode, bool isVolatile) {
  auto node = std::make_unique<KeyNode>();
  node->parent = parent;
  node->name = std::move(name);
  node->hive = hive;
  node->hnode = hnode;
  node->isVolatile = isVolatile;
  if (isVolatile || !hive) node->childrenLoaded = node->valuesLoaded = true;
  KeyNode* raw = node.get();
  Insert(parent, std::move(node));
  return raw;
}

void RegistryStore::Insert(KeyNode* parent, std::unique_ptr<KeyNode> child) {
  auto& kids = parent->children;
  // Keys of the in-memory top (mount points, HARDWARE) form one sorted list.
  const bool single = parent->hive == nullptr;
  const bool stable = single || !child->isVolatile;
  const auto first = stable ? kids.begin() : kids.begin() + parent->stableCount;
  const auto last = (stable && !single) ? kids.begin() + parent->stableCount : kids.end();
  const auto at = std::lower_bound(first, last, child, NodeLess);
  ++structureGeneration_;
  if (parent->childIndex) parent->childIndex->emplace(child->name, child.get());
  kids.insert(at, std::move(child));
  if (stable) ++parent->stableCount;
  ++parent->childGen;
}

void RegistryStore::MarkDeleted(KeyNode* node) {
  ++structureGeneration_;
  node->deleted = true;
  node->hive = nullptr;
  node->hnode = 0;
  for (auto& c : node->children) MarkDeleted(c.get());
}

void RegistryStore::Detach(KeyNode* node) {
  KeyNode* parent = node->parent;
  auto& kids = parent->children;
  auto it = std::find_if(kids.begin(), kids.end(), [&](const auto& c) { return c.get() == node; });
  if (it == kids.end()) return;
  const bool stable = static_cast<std::size_t>(it - kids.begin()) < parent->stableCount;
  if (parent->childIndex) parent->childIndex->erase(node->name);
  graveyard_.push_back(std::move(*it));
  kids.erase(it);
  if (stable) --parent->stableCount;
  ++parent->childGen;
  // Links into the removed branch point nowhere now; links inside it go away with it.
  links_.erase(
      std::remove_if(links_.begin(), links_.end(), [&](KeyNode* l) { return IsWithin(l, node); }),
      links_.end());
  for (KeyNode* l : links_) {
    if (l->link && IsWithin(l->link, node)) l->link = nullptr;
  }
  MarkDeleted(node);
  PurgeGraveyard();
}

namespace {
std::uint32_t SubtreeOpens(const KeyNode* n) {
  std::uint32_t total = n->opens;
  for (const auto& c : n->children) total += SubtreeOpens(c.get());
  return total;
}
}  // namespace

void RegistryStore::PurgeGraveyard() {
  graveyard_.erase(std::remove_if(graveyard_.begin(), graveyard_.end(),
                                  [](const auto& n) { return SubtreeOpens(n.get()) == 0; }),
                   graveyard_.end());
}

bool RegistryStore::IsWithin(const KeyNode* node, const KeyNode* key) {
  for (const KeyNode* n = node; n; n = n->parent) {
    if (n == key) return true;
  }
  return false;
}

void RegistryStore::MarkDamaged(Hive* hive, const char* what) {
  if (!hive || hive->damaged) return;
  hive->damaged = true;
  hive->damage = hive->file->Path().string() + ": damaged hive (" + what + ")";
}

bool RegistryStore::LoadChildren(KeyNode* node) {
  if (node->childrenLoaded) return true;
  Hive* hive = node->hive;
  if (!hive || hive->damaged) return false;
  std::vector<HiveFile::Child>& kids = scratchChildren_;
  if (!hive->file->ReadChildren(node->hnode, &kids)) {
    MarkDamaged(hive, "unreadable sub-key list");
    return false;
  }
  node->children.reserve(kids.size());
  for (auto& k : kids) {
    auto child = std::make_unique<KeyNode>();
    child->parent = node;
    child->name = std::move(k.name);
    child->hive = hive;
    child->hnode = k.node;
    node->children.push_back(std::move(child));
  }
  SortChildren(node);
  node->stableCount = static_cast<std::uint32_t>(node->children.size());
  node->childrenLoaded = true;
  return true;
}

KeyNode* RegistryStore::Child(KeyNode* parent, std::u16string_view name) {
  if (!LoadChildren(parent)) return nullptr;
  const auto& kids = parent->children;
  // Walks open the sub-key they have just enumerated: try that one first.
  if (parent->lastEnumerated < kids.size() && SameName(kids[parent->lastEnumerated]->name, name)) {
    return kids[parent->lastEnumerated].get();
  }
  if (kids.size() >= kChildIndexFrom) {
    if (!parent->childIndex) {
      parent->childIndex = std::make_unique<ChildIndex>();
      parent->childIndex->reserve(kids.size() * 2);
      for (const auto& c : kids) parent->childIndex->emplace(c->name, c.get());
    }
    const auto it = parent->childIndex->find(name);
    return it == parent->childIndex->end() ? nullptr : it->second;
  }
  if (KeyNode* n = FindSorted(kids, 0, parent->stableCount, name)) return n;
  return FindSorted(kids, parent->stableCount, kids.size(), name);
}

const std::vector<KeyValue>* RegistryStore::Values(KeyNode* node) {
  if (node->valuesLoaded) return &node->values;
  Hive* hive = node->hive;
  if (!hive || hive->damaged) return nullptr;
  std::vector<HiveFile::Value>& vals = scratchValues_;
  if (!hive->file->ReadValues(node->hnode, &vals)) {
    MarkDamaged(hive, "unreadable value list");
    return nullptr;
  }
  node->values.clear();
  node->values.reserve(vals.size());
  for (auto& v : vals) node->values.push_back({std::move(v.name), v.type, v.size, v.handle, {}});
  BuildValueIndex(node);
  node->valuesLoaded = true;
  return &node->values;
}

const KeyValue* RegistryStore::FindValue(KeyNode* node, std::u16string_view name) {
  const auto* values = Values(node);
  if (!values) return nullptr;
  if (node->valueIndex) {
    auto it = node->valueIndex->find(name);
    return it == node->valueIndex->end() ? nullptr : &(*values)[it->second];
  }
  for (const auto& v : *values) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

LSTATUS RegistryStore::ReadValue(KeyNode* node, const KeyValue& value, std::uint8_t* dest,
                                 std::size_t capacity) {
  if (!value.handle) {
    std::memcpy(dest, value.data.data(), std::min(capacity, value.data.size()));
    return ERROR_SUCCESS;
  }
  Hive* hive = node->hive;
  if (!hive || hive->damaged) return ERROR_BADDB;
  std::size_t size = 0;
  if (!hive->file->CopyData(value.handle, dest, capacity, &size)) {
    MarkDamaged(hive, "unreadable value data");
    return ERROR_BADDB;
  }
  return ERROR_SUCCESS;
}

FileTime RegistryStore::LastWrite(KeyNode* node) {
  if (node->lastWrite) return node->lastWrite;
  if (node->hive && node->hnode && !node->hive->damaged) {
    return node->hive->file->Timestamp(node->hnode);
  }
  return 0;
}

std::u16string RegistryStore::FullPath(const KeyNode* node) const {
  std::vector<const KeyNode*> chain;
  for (const KeyNode* n = node; n && n != top_.get(); n = n->parent) chain.push_back(n);
  std::u16string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const KeyNode* n = *it;
    if (n == machine_) {
      path = u"HKEY_LOCAL_MACHINE";
    } else if (n == users_) {
      path = u"HKEY_USERS";
    } else {
      path += u"\\";
      path += n->name;
    }
  }
  return path;
}

std::vector<std::u16string> RegistryStore::HivePath(const KeyNode* node) const {
  std::vector<std::u16string> path;
  for (const KeyNode* n = node; n && !n->mountPoint; n = n->parent) path.push_back(n->name);
  std::reverse(path.begin(), path.end());
  return path;
}

void RegistryStore::MarkDirty(Hive* hive) {
  hive->dirty = true;
  pendingChanges_ = true;
  lastChange_ = std::chrono::steady_clock::now();
  if (!flusher_.joinable()) flusher_ = std::thread([this] { FlusherLoop(); });
  flushWake_.notify_all();
}

void RegistryStore::Journal(Hive* hive, JournalOp op) {
  hive->journal.push_back(std::move(op));
  MarkDirty(hive);
}

LSTATUS RegistryStore::CreateChild(KeyNode* parent, std::u16string_view name, bool isVolatile,
                                   KeyNode** out) {
  if (!LoadChildren(parent)) return ERROR_BADDB;
  if (isVolatile) {
    *out = NewChild(parent, std::u16string(name), parent->hive, 0, true);
    (*out)->lastWrite = Now();
    parent->lastWrite = (*out)->lastWrite;
    return ERROR_SUCCESS;
  }
  if (parent->isVolatile && parent->hive) return ERROR_CHILD_MUST_BE_VOLATILE;
  if (!parent->hive)
    return parent == machine_ || parent == users_ || parent == top_.get()
               ? ERROR_ACCESS_DENIED
               : ERROR_CHILD_MUST_BE_VOLATILE;
  Hive* hive = parent->hive;
  if (hive->damaged) return ERROR_BADDB;
  if (parent->pending || hive->deferred) {
    KeyNode* node = NewChild(parent, std::u16string(name), hive, 0, false);
    node->pending = true;
    node->childrenLoaded = node->valuesLoaded = true;
    node->lastWrite = Now();
    parent->lastWrite = node->lastWrite;
    Journal(hive, {JournalOp::Kind::kCreateKey, HivePath(node), {}, REG_NONE, {}});
    *out = node;
    return ERROR_SUCCESS;
  }
  std::uint64_t leftBehind = 0;
  const hive_node_h h = hive->file->AddChild(parent->hnode, name, &leftBehind);
  if (!h) {
    MarkDamaged(hive, "cannot add a key");
    return ERROR_BADDB;
  }
  KeyNode* node = NewChild(parent, std::u16string(name), hive, h, false);
  node->childrenLoaded = node->valuesLoaded = true;  // a new key has neither
  node->lastWrite = Now();
  parent->lastWrite = node->lastWrite;
  Journal(hive, {JournalOp::Kind::kCreateKey, HivePath(node), {}, REG_NONE, {}});
  CountEditWaste(hive, leftBehind);
  *out = node;
  return ERROR_SUCCESS;
}

LSTATUS RegistryStore::DeleteTree(KeyNode* node) {
  if (node->mountPoint || !node->parent || node->deleted) return ERROR_ACCESS_DENIED;
  KeyNode* parent = node->parent;
  if (!node->isVolatile && node->hive) {
    Hive* hive = node->hive;
    if (hive->damaged) return ERROR_BADDB;
    auto path = HivePath(node);
    if (!node->pending && !hive->deferred && !hive->file->DeleteChild(node->hnode)) {
      MarkDamaged(hive, "cannot delete a key");
      return ERROR_BADDB;
    }
    Journal(hive, {JournalOp::Kind::kDeleteKey, std::move(path), {}, REG_NONE, {}});
  }
  parent->lastWrite = Now();
  Detach(node);
  return ERROR_SUCCESS;
}

LSTATUS RegistryStore::SetValue(KeyNode* node, std::u16string_view name, DWORD type,
                                std::span<const std::uint8_t> data) {
  if (node->isVolatile || !node->hive) {
    if (!node->isVolatile) return ERROR_ACCESS_DENIED;
    SetValueInMemory(node, name, type, data);
    node->lastWrite = Now();
    return ERROR_SUCCESS;
  }
  Hive* hive = node->hive;
  if (hive->damaged) return ERROR_BADDB;
  if (data.size() > HiveFile::kMaxValueSize) return ERROR_NOT_ENOUGH_MEMORY;
  std::uint64_t leftBehind = 0;
  if (node->pending || hive->deferred) {
    if (!Values(node)) return ERROR_BADDB;
    SetValueInMemory(node, name, type, data);
  } else {
    if (!hive->file->SetValue(node->hnode, name, type, data, &leftBehind)) {
      MarkDamaged(hive, "cannot write a value");
      return ERROR_BADDB;
    }
    DropValues(node);
  }
  node->lastWrite = Now();
  Journal(hive, {JournalOp::Kind::kSetValue,
                 HivePath(node),
                 std::u16string(name),
                 type,
                 {data.begin(), data.end()}});
  CountEditWaste(hive, leftBehind);
  return ERROR_SUCCESS;
}

LSTATUS RegistryStore::DeleteValue(KeyNode* node, std::u16string_view name) {
  if (node->isVolatile || !node->hive) {
    if (!DeleteValueInMemory(node, name)) return ERROR_FILE_NOT_FOUND;
    node->lastWrite = Now();
    return ERROR_SUCCESS;
  }
  if (!FindValue(node, name)) return node->hive->damaged ? ERROR_BADDB : ERROR_FILE_NOT_FOUND;
  Hive* hive = node->hive;
  std::uint64_t leftBehind = 0;
  if (node->pending || hive->deferred) {
    DeleteValueInMemory(node, name);
  } else {
    bool found = false;
    if (!hive->file->DeleteValue(node->hnode, name, &found, &leftBehind)) {
      MarkDamaged(hive, "cannot delete a value");
      return ERROR_BADDB;
    }
    DropValues(node);
    if (!found) return ERROR_FILE_NOT_FOUND;
  }
  node->lastWrite = Now();
  Journal(hive,
          {JournalOp::Kind::kDeleteValue, HivePath(node), std::u16string(name), REG_NONE, {}});
  CountEditWaste(hive, leftBehind);
  return ERROR_SUCCESS;
}

void RegistryStore::AddRef(KeyNode* node) {
  ++node->opens;
}

void RegistryStore::Release(KeyNode* node) {
  if (node->opens > 0) --node->opens;
  if (node->deleted && !graveyard_.empty()) PurgeGraveyard();
}

std::uint32_t RegistryStore::OpenHandlesIn(const KeyNode* key) const {
  return SubtreeOpens(key);
}

// ---- hives ----

Hive* RegistryStore::FindHiveByFile(const std::filesystem::path& hostFile) {
  std::error_code ec;
  for (auto& h : hives_) {
    if (std::filesystem::equivalent(h->file->Path(), hostFile, ec)) return h.get();
  }
  return nullptr;
}

LSTATUS RegistryStore::MountHive(KeyNode* under, std::u16string_view name,
                                 const std::filesystem::path& file, std::u16string_view windowsPath,
                                 std::u16string_view ownerSid, bool loadedByApp,
                                 std::string* error) {
  if (FindHiveByFile(file)) {
    if (error) *error = file.string() + ": hive is loaded already";
    return ERROR_SHARING_VIOLATION;
  }
  std::string why;
  auto hf = HiveFile::Open(file, &why);
  if (!hf) {
    if (error) *error = why;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return ERROR_FILE_NOT_FOUND;
    return hive::CheckHiveFile(file) == "not a registry hive file" ? ERROR_NOT_REGISTRY_FILE
                                                                   : ERROR_BADDB;
  }
  auto hive = std::make_unique<Hive>();
  hive->file = std::move(hf);
  hive->windowsPath = std::u16string(windowsPath);
  hive->ownerSid = std::u16string(ownerSid);
  hive->loadedByApp = loadedByApp;
  hive->nativeName =
      (under == users_ ? u"\\REGISTRY\\USER\\" : u"\\REGISTRY\\MACHINE\\") + std::u16string(name);
  KeyNode* root = NewChild(under, std::u16string(name), hive.get(), hive->file->Root(), false);
  root->mountPoint = true;
  root->childrenLoaded = root->valuesLoaded = false;
  hive->root = root;
  hives_.push_back(std::move(hive));
  ++mountGeneration_;
  ++structureGeneration_;
  if (hiveList_) AddHiveListEntry(*hives_.back());
  return ERROR_SUCCESS;
}

LSTATUS RegistryStore::UnmountHive(Hive* hive) {
  std::string ignored;
  const LSTATUS st = Flush(hive, &ignored);
  if (st != ERROR_SUCCESS && !hive->damaged) return st;
  RemoveHiveListEntry(*hive);
  Detach(hive->root);
  hives_.erase(
      std::find_if(hives_.begin(), hives_.end(), [&](const auto& h) { return h.get() == hive; }));
  ++mountGeneration_;
  ++structureGeneration_;
  return ERROR_SUCCESS;
}

bool RegistryStore::MountMachine(std::string* error) {
  for (const HiveLocation& loc : MachineHiveLocations(descriptor_)) {
    // A machine folder without hive files (made for file tests) has those keys missing.
    std::filesystem::path host;
    std::error_code ec;
    if (HostPathOf(folder_, descriptor_, loc.windowsPath, &host) != ERROR_SUCCESS ||
        !std::filesystem::exists(host, ec)) {
      continue;
    }
    if (MountHive(loc.underUsers ? users_ : machine_, loc.mountName, host, loc.windowsPath,
                  loc.ownerSid, false, error) != ERROR_SUCCESS) {
      return false;
    }
  }
  SetUpVolatileKeys();
  return true;
}

bool RegistryStore::MountUser(const UserAccount& user, std::string* error) {
  const auto locs = UserHiveLocations(descriptor_, user);
  if (Child(users_, locs.front().mountName)) return true;
  for (const HiveLocation& loc : locs) {
    std::filesystem::path host;
    std::error_code ec;
    if (HostPathOf(folder_, descriptor_, loc.windowsPath, &host) != ERROR_SUCCESS ||
        !std::filesystem::exists(host, ec)) {
      continue;
    }
    if (MountHive(users_, loc.mountName, host, loc.windowsPath, loc.ownerSid, false, error) !=
        ERROR_SUCCESS) {
      return false;
    }
  }
  // HKU\<SID>\Software\Classes is the user's classes hive.
  KeyNode* hkcu = Child(users_, locs[0].mountName);
  KeyNode* software = hkcu ? Child(hkcu, u"Software") : nullptr;
  KeyNode* classes = Child(users_, locs[1].mountName);
  if (software && classes && !Child(software, u"Classes")) MakeLink(software, u"Classes", classes);
  return true;
}

KeyNode* RegistryStore::MakeLink(KeyNode* parent, std::u16string_view name, KeyNode* target) {
  KeyNode* link = nullptr;
  if (CreateChild(parent, name, true, &link) != ERROR_SUCCESS) return nullptr;
  link->isLink = true;
  link->link = target;
  // The link's own value names its target, as REG_LINK text without a terminator.
  std::u16string native = FullPath(target);
  if (StartsWithNoCase(native, u"HKEY_LOCAL_MACHINE")) {
    native = u"\\REGISTRY\\MACHINE" + native.substr(18);
  } else if (StartsWithNoCase(native, u"HKEY_USERS"))
    native = u"\\REGISTRY\\USER" + native.substr(10);
  auto bytes = RegStringBytes(native);
  bytes.resize(bytes.size() - 2);
  SetValue(link, u"SymbolicLinkValue", REG_LINK, bytes);
  links_.push_back(link);
  return link;
}

void RegistryStore::SetUpVolatileKeys() {
  // HKLM\SYSTEM\CurrentControlSet follows Select\Current.
  KeyNode* system = Child(machine_, u"SYSTEM");
  KeyNode* controlSet = nullptr;
  if (system) {
    DWORD current = 1;
    if (KeyNode* select = Child(system, u"Select")) {
      if (const KeyValue* v = FindValue(select, u"Current");
          v && v->type == REG_DWORD && v->size == 4) {
        std::uint8_t b[4];
        if (ReadValue(select, *v, b, 4) == ERROR_SUCCESS) current = hive::Get32(b);
      }
    }
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03u", static_cast<unsigned>(current));
    controlSet = Child(system, Ascii(name));
    if (controlSet && !Child(system, u"CurrentControlSet")) {
      MakeLink(system, u"CurrentControlSet", controlSet);
    }
  }
  // HKLM\HARDWARE is rebuilt at every start.
  KeyNode* hw = nullptr;
  CreateChild(machine_, u"HARDWARE", true, &hw);
  if (hw) {
    KeyNode *desc = nullptr, *sys = nullptr, *cpu = nullptr, *cpu0 = nullptr, *other = nullptr;
    CreateChild(hw, u"DESCRIPTION", true, &desc);
    if (desc) CreateChild(desc, u"System", true, &sys);
    if (sys) {
      SetValue(sys, u"Identifier", REG_SZ, RegStringBytes(u"AT/AT COMPATIBLE"));
      CreateChild(sys, u"CentralProcessor", true, &cpu);
    }
    if (cpu) CreateChild(cpu, u"0", true, &cpu0);
    if (cpu0) {
      SetValue(cpu0, u"Identifier", REG_SZ,
               RegStringBytes(descriptor_.Is64Bit() ? u"Intel64 Family 6 Model 23 Stepping 10"
                                                    : u"x86 Family 6 Model 23 Stepping 10"));
      SetValue(cpu0, u"ProcessorNameString", REG_SZ, RegStringBytes(u"Simulated CPU"));
    }
    CreateChild(hw, u"DEVICEMAP", true, &other);
    CreateChild(hw, u"RESOURCEMAP", true, &other);
  }
  // ...\Control\hivelist names every mounted hive's file.
  if (controlSet) {
    if (KeyNode* control = Child(controlSet, u"Control")) {
      if (!Child(control, u"hivelist")) CreateChild(control, u"hivelist", true, &hiveList_);
    }
  }
  if (hiveList_) {
    SetValue(hiveList_, u"\\REGISTRY\\MACHINE\\HARDWARE", REG_SZ, RegStringBytes(u""));
    for (const auto& h : hives_) AddHiveListEntry(*h);
  }
}

void RegistryStore::AddHiveListEntry(const Hive& hive) {
  if (!hiveList_) return;
  SetValue(hiveList_, hive.nativeName, REG_SZ,
           RegStringBytes(NativeDevicePath(descriptor_, hive.windowsPath)));
}

void RegistryStore::RemoveHiveListEntry(const Hive& hive) {
  if (hiveList_) DeleteValue(hiveList_, hive.nativeName);
}

// ---- flushing and merging ----

bool RegistryStore::Replay(HiveFile& file, const std::vector<JournalOp>& ops) {
  for (const JournalOp& op : ops) {
    hive_node_h node = file.Root();
    bool present = true;
    for (const auto& part : op.path) {
      hive_node_h next = file.FindChild(node, part);
      if (!next && op.kind == JournalOp::Kind::kCreateKey) next = file.AddChild(node, part);
      if (!next) {
        present = false;
        break;
      }
      node = next;
    }
    if (!present) {
      if (op.kind == JournalOp::Kind::kCreateKey) return false;
      continue;  // the other process deleted the key: its deletion stands
    }
    bool ok = true, found = false;
    switch (op.kind) {
      case JournalOp::Kind::kCreateKey:
        break;
      case JournalOp::Kind::kDeleteKey:
        ok = op.path.empty() || file.DeleteChild(node);
        break;
      case JournalOp::Kind::kSetValue:
        ok = file.SetValue(node, op.valueName, op.type, op.data);
        break;
      case JournalOp::Kind::kDeleteValue:
        ok = file.DeleteValue(node, op.valueName, &found);
        break;
    }
    if (!ok) return false;
  }
  return true;
}

void RegistryStore::RefreshNode(KeyNode* node, HiveFile& file, hive_node_h fresh) {
  node->hnode = fresh;
  node->pending = false;
  DropValues(node);
  if (!node->childrenLoaded) return;
  std::vector<HiveFile::Child> kids;
  if (!file.ReadChildren(fresh, &kids)) {
    MarkDamaged(node->hive, "unreadable sub-key list");
    return;
  }
  std::vector<std::unique_ptr<KeyNode>> old(
      std::make_move_iterator(node->children.begin()),
      std::make_move_iterator(node->children.begin() + node->stableCount));
  std::vector<std::unique_ptr<KeyNode>> volatiles(
      std::make_move_iterator(node->children.begin() + node->stableCount),
      std::make_move_iterator(node->children.end()));
  ChildIndex byName;
  for (auto& o : old) byName.emplace(o->name, o.get());
  std::vector<std::unique_ptr<KeyNode>> fresh_kids;
  fresh_kids.reserve(kids.size() + volatiles.size());
  for (auto& k : kids) {
    auto it = byName.find(k.name);
    if (it != byName.end()) {
      KeyNode* kept = it->second;
      byName.erase(it);
      auto pos =
          std::find_if(old.begin(), old.end(), [&](const auto& o) { return o.get() == kept; });
      fresh_kids.push_back(std::move(*pos));
      RefreshNode(kept, file, k.node);
    } else {
      auto child = std::make_unique<KeyNode>();
      child->parent = node;
      child->name = std::move(k.name);
      child->hive = node->hive;
      child->hnode = k.node;
      fresh_kids.push_back(std::move(child));
    }
  }
  node->children = std::move(fresh_kids);
  node->childIndex.reset();
  ++structureGeneration_;
  SortChildren(node);
  node->stableCount = static_cast<std::uint32_t>(node->children.size());
  for (auto& v : volatiles) node->children.push_back(std::move(v));
  ++node->childGen;
  // Keys the other process deleted.
  for (auto& o : old) {
    if (!o) continue;
    for (KeyNode* l : links_) {
      if (l->link && IsWithin(l->link, o.get())) l->link = nullptr;
    }
    MarkDeleted(o.get());
    graveyard_.push_back(std::move(o));
  }
}

void RegistryStore::Adopt(Hive* hive, std::unique_ptr<HiveFile> fresh) {
  hive->file = std::move(fresh);
  hive->damaged = false;
  hive->damage.clear();
  RefreshNode(hive->root, *hive->file, hive->file->Root());
  PurgeGraveyard();
}

void RegistryStore::CountEditWaste(Hive* hive, std::uint64_t bytes) {
  hive->editWaste += bytes;
  if (hive->deferred || hive->editWaste < kEditWasteBudget) return;
  hive->deferred = true;
  hive->deferredFrom = hive->journal.size();
}

LSTATUS RegistryStore::WriteDeferred(Hive* hive, std::string* error) {
  // Expects the machine lock. The libhivex image holds the changes made before the hive began
  // to defer; a newer file written by another process holds none of this process's changes.
  std::unique_ptr<HiveFile> newer;
  std::size_t from = hive->deferredFrom;
  if (hive->file->ChangedOnDisk()) {
    std::string why;
    newer = HiveFile::Open(hive->file->Path(), &why);
    if (!newer) {
      if (error) *error = why;
      return ERROR_BADDB;
    }
    from = 0;
  }
  HiveFile& base = newer ? *newer : *hive->file;
  auto tree = base.ReadTree(base.Root(), hive->root->name);
  if (!tree) {
    if (error) *error = base.Path().string() + ": cannot read the hive to merge changes into it";
    return ERROR_BADDB;
  }
  for (std::size_t i = from; i < hive->journal.size(); ++i) ApplyJournalOp(*tree, hive->journal[i]);
  const auto bytes = WriteCompactHive(*tree, WriteOptions(hive, hive->windowsPath));
  if (!ReplaceFileAtomically(hive->file->Path(), bytes, error)) return ERROR_CANTWRITE;
  auto fresh = HiveFile::Open(hive->file->Path(), error);
  if (!fresh) return ERROR_BADDB;
  Adopt(hive, std::move(fresh));
  hive->journal.clear();
  hive->dirty = false;
  hive->deferred = false;
  hive->deferredFrom = 0;
  hive->editWaste = 0;
  return ERROR_SUCCESS;
}

LSTATUS RegistryStore::FlushLocked(Hive* hive, std::string* error) {
  // Expects the machine lock.
  if (hive->deferred) return WriteDeferred(hive, error);
  if (hive->file->ChangedOnDisk()) {
    std::string why;
    auto fresh = HiveFile::Open(hive->file->Path(), &why);
    if (!fresh) {
      // Whatever is on disk now is not a sound hive; it is left alone.
      if (error) *error = why;
      return ERROR_BADDB;
    }
    if (!hive->journal.empty() && !Replay(*fresh, hive->journal)) {
      if (error) *error = hive->file->Path().string() + ": cannot merge changes into the hive";
      return ERROR_CANTWRITE;
    }
    Adopt(hive, std::move(fresh));
  }
  if (hive->dirty && !hive->file->Commit(error)) return ERROR_CANTWRITE;
  hive->journal.clear();
  hive->dirty = false;
  return ERROR_SUCCESS;
}

LSTATUS RegistryStore::Flush(Hive* hive, std::string* error) {
  if (hive->damaged) {
    if (!hive->dirty) return ERROR_SUCCESS;
    if (error) *error = hive->damage + "; changes are not written";
    return ERROR_BADDB;
  }
  if (!hive->dirty && !hive->file->ChangedOnDisk()) return ERROR_SUCCESS;
  MachineLock lock(folder_);
  return FlushLocked(hive, error);
}

LSTATUS RegistryStore::FlushAll(std::string* error) {
  LSTATUS result = ERROR_SUCCESS;
  for (auto& h : hives_) {
    std::string why;
    const LSTATUS st = h->dirty ? Flush(h.get(), &why) : ERROR_SUCCESS;
    if (st != ERROR_SUCCESS && result == ERROR_SUCCESS) {
      result = st;
      if (error) *error = why;
    }
  }
  pendingChanges_ = false;
  for (auto& h : hives_) pendingChanges_ = pendingChanges_ || (h->dirty && !h->damaged);
  return result;
}

void RegistryStore::RefreshIfChanged() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRefreshCheck_ < std::chrono::seconds(1)) return;
  lastRefreshCheck_ = now;
  for (auto& h : hives_) {
    if (h->dirty || h->damaged || !h->file->ChangedOnDisk()) continue;
    auto fresh = HiveFile::Open(h->file->Path(), nullptr);
    if (fresh) Adopt(h.get(), std::move(fresh));
  }
}

void RegistryStore::SetLazyFlushDelay(std::chrono::milliseconds delay) {
  flushDelay_ = delay;
  flushWake_.notify_all();
}

void RegistryStore::FlusherLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopFlusher_) {
    if (!pendingChanges_) {
      flushWake_.wait(lock);
      continue;
    }
    const auto due = lastChange_ + flushDelay_;
    if (std::chrono::steady_clock::now() >= due) {
      FlushAll(nullptr);
      pendingChanges_ = false;  // a hive that cannot be written waits for the next change
    } else {
      flushWake_.wait_until(lock, due);
    }
  }
}

HiveWriteOptions RegistryStore::WriteOptions(const Hive* hive, std::u16string_view fileName) const {
  HiveWriteOptions o;
  o.minorVersion = descriptor_.version.IsXp() ? 3 : 5;
  o.timestamp = Now();
  o.fileName = std::u16string(fileName);
  o.security =
      (!hive || hive->ownerSid.empty()) ? MachineKeySecurity() : UserKeySecurity(hive->ownerSid);
  return o;
}

LSTATUS RegistryStore::RewriteHive(Hive* hive, const std::function<void(HiveKey& root)>& edit,
                                   std::string* error) {
  if (hive->damaged) {
    if (error) *error = hive->damage;
    return ERROR_BADDB;
  }
  MachineLock lock(folder_);
  LSTATUS st = FlushLocked(hive, error);
  if (st != ERROR_SUCCESS) return st;
  auto tree = hive->file->ReadTree(hive->file->Root(), hive->root->name);
  if (!tree) {
    MarkDamaged(hive, "unreadable");
    if (error) *error = hive->damage;
    return ERROR_BADDB;
  }
  edit(*tree);
  const auto bytes = WriteCompactHive(*tree, WriteOptions(hive, hive->windowsPath));
  if (!ReplaceFileAtomically(hive->file->Path(), bytes, error)) return ERROR_CANTWRITE;
  auto fresh = HiveFile::Open(hive->file->Path(), error);
  if (!fresh) return ERROR_BADDB;
  Adopt(hive, std::move(fresh));
  hive->editWaste = 0;
  return ERROR_SUCCESS;
}

}  // namespace bc::platform::sim
