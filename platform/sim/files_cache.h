// Case-insensitive lookups over the case-sensitive host folders of a machine, with a cache of
// directory listings, and the DOS attributes kept beside host files.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "platform/sim/files_paths.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

struct DirEntry {
  std::string hostName;  // the name on the host (UTF-8)
  std::u16string name;   // the name as Windows shows it
  bool isDir = false;
};

// A Windows path mapped onto the host.
struct HostLocation {
  std::filesystem::path host;        // existing names in their host spelling, the rest as written
  std::filesystem::path parentHost;  // the folder holding the last name
  std::u16string name;               // last name (host spelling when it exists)
  bool exists = false;               // the last name exists
  bool parentExists = false;         // every name before the last exists and is a folder
  bool isDir = false;
  bool isRoot = false;  // the drive root itself
};

class DirectoryCache {
 public:
  DirectoryCache(std::filesystem::path machineDir, const MachineDescriptor& descriptor);

  // Maps a drive path onto the host. nullopt and *error: ERROR_PATH_NOT_FOUND for an unknown
  // drive or missing drive folder, ERROR_NOT_READY for a drive without media.
  std::optional<HostLocation> Locate(const DrivePath& path, LSTATUS* error);
  // The folder's entries (no "." / ".."), sorted by upper-cased name; nullopt when it cannot be
  // listed.
  std::optional<std::vector<DirEntry>> List(const std::filesystem::path& hostDir);

  // Forget one folder's listing (after a change through the interface) or all of them.
  void Forget(const std::filesystem::path& hostDir);
  void ForgetAll();

  // Number of times a folder was actually read from the host (for tests and benchmarks).
  std::uint64_t ListingsRead() const { return listingsRead_.load(); }

 private:
  struct Listing {
    std::uint64_t dev = 0, ino = 0;
    std::int64_t mtimeNs = 0;
    bool racy = false;  // listed within the modification time's granularity: re-read next time
    std::unordered_map<std::u16string, DirEntry> byUpperName;
  };
  // The listing of hostDir, read again when the folder changed.
  std::shared_ptr<const Listing> Get(const std::string& hostDir);

  std::filesystem::path machineDir_;
  const MachineDescriptor& descriptor_;
  std::shared_mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<const Listing>> listings_;
  std::atomic<std::uint64_t> listingsRead_{0};
};

// Handles open on the machine's files, for Windows' sharing rules: an open conflicts with another
// when either asks for an access the other does not share.
class OpenFiles {
 public:
  static constexpr DWORD kRead = 1, kWrite = 2, kDelete = 4;
  // Registers an open of file (dev, ino) with access and share bits (kRead/kWrite/kDelete).
  // 0 when it conflicts with an open handle, else an id for Close.
  std::uint64_t Open(std::uint64_t dev, std::uint64_t ino, DWORD access, DWORD share);
  void Close(std::uint64_t id);
  // Whether the file may be deleted or renamed now (every open handle shares deletion).
  bool MayDelete(std::uint64_t dev, std::uint64_t ino);

 private:
  struct Entry {
    std::uint64_t id, dev, ino;
    DWORD access, share;
  };
  std::mutex mutex_;
  std::vector<Entry> open_;
  std::uint64_t next_ = 1;
};

// DOS attributes of a host file: READONLY from the owner's write permission, HIDDEN, SYSTEM and
// the ARCHIVE state in an extended attribute. INVALID_FILE_ATTRIBUTES when it does not exist.
DWORD HostFileAttributes(const std::filesystem::path& host);
// Sets them; false with *error when the host refuses.
bool SetHostFileAttributes(const std::filesystem::path& host, DWORD attributes, LSTATUS* error);

struct HostFileInfo {
  bool isDir = false;
  std::uint64_t size = 0;
  FileTime creation = 0, lastAccess = 0, lastWrite = 0;
};
std::optional<HostFileInfo> StatHost(const std::filesystem::path& host);

// Windows FILETIME of a host time.
FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds);

// Win32 status of a host errno.
LSTATUS StatusFromErrno(int err);

}  // namespace bc::platform::sim
