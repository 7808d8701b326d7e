// One hive file opened with libhivex for reading and in-place editing. Edits stay in memory until
// Commit writes the whole hive beside the file and renames it over the original.
#pragma once

#include <hivex.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/hive_tree.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

// What identifies one version of a file: replacing it by rename changes the inode.
struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::filesystem::path& file);

class HiveFile {
 public:
  // Checks the file and opens it; nullptr and a reason (naming the file) when it is missing,
  // not a hive, truncated or damaged.
  static std::unique_ptr<HiveFile> Open(const std::filesystem::path& file, std::string* error);
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  hive_node_h Root() const { return root_; }
  const FileStamp& Stamp() const { return stamp_; }
  // True when the file on disk is no longer the version this object loaded or last wrote.
  bool ChangedOnDisk() const;
  // Writes the hive beside its file, flushes it and renames it over the file.
  bool Commit(std::string* error);
  // Writes the hive to another path (not atomically; the caller owns that file).
  bool CommitTo(const std::filesystem::path& file, std::string* error);

  struct Child {
    std::u16string name;
    hive_node_h node;
  };
  struct Value {
    std::u16string name;
    DWORD type;
    DWORD size;
    hive_value_h handle;
  };
  // Reads fail (false) only when the hive is damaged.
  bool ReadChildren(hive_node_h node, std::vector<Child>* out);
  bool ReadValues(hive_node_h node, std::vector<Value>* out);
  bool ReadData(hive_value_h value, std::vector<std::uint8_t>* out);
  // Copies at most capacity bytes of the data into dest; *size gets the full size.
  bool CopyData(hive_value_h value, std::uint8_t* dest, std::size_t capacity, std::size_t* size);
  FileTime Timestamp(hive_node_h node);
  // Largest value data libhivex can place in one cell.
  static constexpr std::size_t kMaxValueSize = 1000000 - 64;

  // Edits in place. libhivex never reuses a freed cell, and adding a sub-key or changing a value
  // moves the key's whole sub-key or value list to new cells: *leftBehind (when given) grows by
  // the bytes the edit leaves unused in the file.
  hive_node_h FindChild(hive_node_h parent, std::u16string_view name);  // 0: none
  hive_node_h AddChild(hive_node_h parent, std::u16string_view name,
                       std::uint64_t* leftBehind = nullptr);  // 0: failed
  bool DeleteChild(hive_node_h child);
  // Sets or adds one value, keeping the order of the others.
  bool SetValue(hive_node_h node, std::u16string_view name, DWORD type,
                std::span<const std::uint8_t> data, std::uint64_t* leftBehind = nullptr);
  // *found tells whether the value was there.
  bool DeleteValue(hive_node_h node, std::u16string_view name, bool* found,
                   std::uint64_t* leftBehind = nullptr);

  // The subtree below node as a tree in memory; nullptr when the hive is damaged.
  std::unique_ptr<HiveKey> ReadTree(hive_node_h node, std::u16string_view name);

 private:
  HiveFile(std::filesystem::path path, hive_h* h, FileStamp stamp);
  bool ReadAllValues(hive_node_h node, std::vector<HiveValue>* out);
  bool FillTree(hive_node_h node, HiveKey* key);

  std::filesystem::path path_;
  hive_h* h_;
  hive_node_h root_;
  FileStamp stamp_;
};

}  // namespace bc::platform::sim
