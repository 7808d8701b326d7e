// The registry of one SimMachine as a tree of keys over its mounted hive files. Keys are read from
// the hives on demand and cached, sorted so that names are found by binary search; stable edits go
// to the hive in place (libhivex) and into a journal, so that a flush can merge them over a hive
// another process has written meanwhile. Volatile keys live only in memory. Every member expects
// Mutex() to be held.
#pragma once

#include <hivex.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/sim/descriptor.h"
#include "platform/sim/hive_file.h"
#include "platform/sim/hive_format.h"
#include "platform/sim/hive_tree.h"
#include "platform/sim/hive_writer.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

class Hive;
struct KeyNode;

struct KeyValue {
  std::u16string name;
  DWORD type = REG_NONE;
  DWORD size = 0;
  hive_value_h handle = 0;         // stable keys: where the value is in the hive
  std::vector<std::uint8_t> data;  // volatile keys: the data itself
};

using ChildIndex =
    std::unordered_map<std::u16string_view, KeyNode*, hive::NameHasher, hive::NameEqual>;
using ValueIndex =
    std::unordered_map<std::u16string_view, std::uint32_t, hive::NameHasher, hive::NameEqual>;

struct KeyNode {
  KeyNode* parent = nullptr;
  std::u16string name;
  Hive* hive = nullptr;   // null: the in-memory top of the registry and HKLM\HARDWARE
  hive_node_h hnode = 0;  // 0: not in a hive file (volatile)
  bool isVolatile = false;
  bool deleted = false;
  bool mountPoint = false;  // the root key of a hive
  KeyNode* link = nullptr;  // a symbolic link stands for this key
  bool isLink = false;
  std::uint32_t opens = 0;     // open handles of every process
  bool pending = false;        // a stable key that reaches its hive file at the next flush
  std::uint32_t childGen = 0;  // changes whenever the sub-key list changes
  FileTime lastWrite = 0;      // 0: the time stored in the hive

  bool childrenLoaded = false;
  // Stable sub-keys sorted by upper-cased name, then volatile ones sorted the same way: the order
  // in which the registry enumerates them.
  std::vector<std::unique_ptr<KeyNode>> children;
  std::uint32_t stableCount = 0;
  std::uint32_t lastEnumerated = 0;  // index of the sub-key enumerated last (a lookup hint)
  // Keys with many sub-keys (CLSID ...) also find them by hash, built at the first lookup.
  std::unique_ptr<ChildIndex> childIndex;

  bool valuesLoaded = false;
  std::vector<KeyValue> values;  // in the order they were added
  std::unique_ptr<ValueIndex> valueIndex;
};

// One change to a hive, by path from its root, kept until the hive has been written.
struct JournalOp {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  std::vector<std::u16string> path;
  std::u16string valueName;
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> data;
};

class Hive {
 public:
  std::unique_ptr<HiveFile> file;
  std::u16string nativeName;   // as hivelist lists it: "\REGISTRY\MACHINE\SAM"
  std::u16string windowsPath;  // "C:\Windows\System32\config\SAM"
  std::u16string ownerSid;     // empty: a machine hive (writable by elevated administrators)
  bool loadedByApp = false;    // mounted with RegLoadKeyW, so it may be unloaded
  KeyNode* root = nullptr;
  std::vector<JournalOp> journal;
  // libhivex never reuses the cells an edit frees, and growing a key's sub-key or value list
  // rewrites the whole list, so long runs of edits balloon the file. Past a budget of such waste
  // the hive defers its edits to memory and the next flush writes it compactly.
  std::uint64_t editWaste = 0;  // estimated bytes freed by in-place edits since the last rewrite
  bool deferred = false;
  std::size_t deferredFrom = 0;  // journal entries from here on are not in the libhivex image
  bool dirty = false;
  bool damaged = false;
  std::string damage;  // why, naming the file
};

class RegistryStore {
 public:
  RegistryStore(std::filesystem::path machineFolder, const MachineDescriptor& descriptor);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  std::mutex& Mutex() { return mutex_; }
  const MachineDescriptor& Descriptor() const { return descriptor_; }
  const std::filesystem::path& Folder() const { return folder_; }

  // Mounts the machine hives (and their volatile companions); false and a reason naming the file
  // when one is missing or damaged.
  bool MountMachine(std::string* error);
  // Mounts the user's two hives under HKEY_USERS unless they are mounted already.
  bool MountUser(const UserAccount& user, std::string* error);

  // ---- the tree ----
  KeyNode* MachineRoot() { return machine_; }
  KeyNode* UsersRoot() { return users_; }
  // The sub-key of that name (not following links), or null. Null also when the hive is damaged.
  KeyNode* Child(KeyNode* parent, std::u16string_view name);
  bool LoadChildren(KeyNode* node);
  const std::vector<KeyValue>* Values(KeyNode* node);
  const KeyValue* FindValue(KeyNode* node, std::u16string_view name);
  // Copies up to capacity bytes of the value's data.
  LSTATUS ReadValue(KeyNode* node, const KeyValue& value, std::uint8_t* dest, std::size_t capacity);
  FileTime LastWrite(KeyNode* node);
  // The key as "HKEY_LOCAL_MACHINE\..." or "HKEY_USERS\...", where it really is.
  std::u16string FullPath(const KeyNode* node) const;
  // True when node is key or lies below it.
  static bool IsWithin(const KeyNode* node, const KeyNode* key);

  LSTATUS CreateChild(KeyNode* parent, std::u16string_view name, bool isVolatile, KeyNode** out);
  // Deletes the key with everything below it.
  LSTATUS DeleteTree(KeyNode* node);
  LSTATUS SetValue(KeyNode* node, std::u16string_view name, DWORD type,
                   std::span<const std::uint8_t> data);
  LSTATUS DeleteValue(KeyNode* node, std::u16string_view name);

  void AddRef(KeyNode* node);
  void Release(KeyNode* node);
  // Open handles on keys of the hive.
  std::uint32_t OpenHandlesIn(const KeyNode* key) const;
  // Changes whenever hives are mounted or unmounted.
  std::uint32_t MountGeneration() const { return mountGeneration_; }
  // Changes whenever a key is added, deleted or replaced, or a hive mounted: pointers to keys
  // found before stay valid while it does not change.
  std::uint64_t StructureGeneration() const { return structureGeneration_; }

  // ---- hives ----
  const std::vector<std::unique_ptr<Hive>>& Hives() const { return hives_; }
  Hive* FindHiveByFile(const std::filesystem::path& hostFile);
  LSTATUS MountHive(KeyNode* under, std::u16string_view name, const std::filesystem::path& file,
                    std::u16string_view windowsPath, std::u16string_view ownerSid, bool loadedByApp,
                    std::string* error);
  LSTATUS UnmountHive(Hive* hive);

  // Writes the hive if it has unwritten changes, merging them over a newer file.
  LSTATUS Flush(Hive* hive, std::string* error);
  LSTATUS FlushAll(std::string* error);
  // Picks up hives another process has rewritten (checked at most once a second).
  void RefreshIfChanged();
  void SetLazyFlushDelay(std::chrono::milliseconds delay);

  // Rewrites the hive compactly after edit has changed its whole tree (bulk imports).
  LSTATUS RewriteHive(Hive* hive, const std::function<void(HiveKey& root)>& edit,
                      std::string* error);
  // Options for writing a compact copy of a key of the hive.
  HiveWriteOptions WriteOptions(const Hive* hive, std::u16string_view fileName) const;

  // The machine clock as FILETIME.
  FileTime Now() const;

 private:
  KeyNode* NewChild(KeyNode* parent, std::u16string name, Hive* hive, hive_node_h hnode,
                    bool isVolatile);
  void Insert(KeyNode* parent, std::unique_ptr<KeyNode> child);
  void Detach(KeyNode* node);
  void MarkDeleted(KeyNode* node);
  void PurgeGraveyard();
  void MarkDamaged(Hive* hive, const char* what);
  void MarkDirty(Hive* hive);
  void Journal(Hive* hive, JournalOp op);
  std::vector<std::u16string> HivePath(const KeyNode* node) const;
  bool Replay(HiveFile& file, const std::vector<JournalOp>& ops);
  // Adds what an in-place edit (already journalled) left unused in the file; past the budget the
  // hive's further edits stay in memory until the next flush.
  void CountEditWaste(Hive* hive, std::uint64_t bytes);
  LSTATUS WriteDeferred(Hive* hive, std::string* error);
  void Adopt(Hive* hive, std::unique_ptr<HiveFile> fresh);
  void RefreshNode(KeyNode* node, HiveFile& file, hive_node_h fresh);
  LSTATUS FlushLocked(Hive* hive, std::string* error);
  void SetUpVolatileKeys();
  void AddHiveListEntry(const Hive& hive);
  void RemoveHiveListEntry(const Hive& hive);
  KeyNode* MakeLink(KeyNode* parent, std::u16string_view name, KeyNode* target);
  void FlusherLoop();

  std::filesystem::path folder_;
  MachineDescriptor descriptor_;
  std::mutex mutex_;
  std::unique_ptr<KeyNode> top_;  // \REGISTRY
  KeyNode* machine_ = nullptr;    // \REGISTRY\MACHINE
  KeyNode* users_ = nullptr;      // \REGISTRY\USER
  KeyNode* hiveList_ = nullptr;
  std::vector<std::unique_ptr<Hive>> hives_;
  std::vector<KeyNode*> links_;
  std::vector<std::unique_ptr<KeyNode>> graveyard_;
  // Reused while reading keys, so that walks do not allocate lists per key.
  std::vector<HiveFile::Child> scratchChildren_;
  std::vector<HiveFile::Value> scratchValues_;
  std::uint32_t mountGeneration_ = 0;
  std::uint64_t structureGeneration_ = 0;
  std::chrono::steady_clock::time_point lastRefreshCheck_{};

  // Writes changed hives a while after the last change.
  std::thread flusher_;
  std::condition_variable flushWake_;
  bool stopFlusher_ = false;
  bool pendingChanges_ = false;
  std::chrono::milliseconds flushDelay_{3000};
  std::chrono::steady_clock::time_point lastChange_{};
};

}  // namespace bc::platform::sim
