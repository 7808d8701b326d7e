#include "platform/sim/files_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "platform/files.h"

namespace bc::platform::sim {
namespace {

// The extended attribute holding the DOS attributes other than READONLY, as a decimal number.
constexpr const char* kAttrXattr = "user.bc.dosattrib";
constexpr DWORD kStoredBits =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kNoArchiveMark = 0x10000;  // stored: the archive bit was cleared explicitly

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A listing taken within this distance of the folder's last change may miss a change made in
// the same clock tick; it is trusted only once the folder has been quiet that long.
constexpr std::int64_t kRacyNs = 20'000'000;

bool SafeDriveFolder(const std::string& folder) {
  if (folder.empty() || folder[0] == '/') return false;
  for (const auto& part : std::filesystem::path(folder)) {
    if (part == ".." || part == ".") return false;
  }
  return true;
}

}  // namespace

FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  constexpr std::int64_t kEpochDiff = 11644473600LL;  // 1601-01-01 to 1970-01-01 in seconds
  const std::int64_t ticks = (seconds + kEpochDiff) * 10'000'000LL + nanoseconds / 100;
  return ticks < 0 ? 0 : static_cast<FileTime>(ticks);
}

LSTATUS StatusFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EBUSY:
      return ERROR_SHARING_VIOLATION;
    default:
      return ERROR_WRITE_FAULT;
  }
}

DirectoryCache::DirectoryCache(std::filesystem::path machineDir, const MachineDescriptor& d)
    : machineDir_(std::move(machineDir)), descriptor_(d) {}

std::shared_ptr<const DirectoryCache::Listing> DirectoryCache::Get(const std::string& hostDir) {
  struct stat st {};
  if (::stat(hostDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::unique_lock lock(mutex_);
    listings_.erase(hostDir);
    return nullptr;
  }
  const std::int64_t mtime =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
  {
    std::shared_lock lock(mutex_);
    auto it = listings_.find(hostDir);
    if (it != listings_.end() && !it->second->racy && it->second->mtimeNs == mtime &&
        it->second->ino == st.st_ino && it->second->dev == st.st_dev) {
      return it->second;
    }
  }
  auto listing = std::make_shared<Listing>();
  listing->dev = st.st_dev;
  listing->ino = st.st_ino;
  listing->mtimeNs = mtime;
  listing->racy = NowNs() - mtime < kRacyNs;
  DIR* dir = ::opendir(hostDir.c_str());
  if (!dir) return nullptr;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat es {};
      if (::lstat((hostDir + "/" + name).c_str(), &es) != 0) continue;
      type = S_ISDIR(es.st_mode) ? DT_DIR : S_ISREG(es.st_mode) ? DT_REG : DT_LNK;
    }
    // Symbolic links and special files are not part of the machine: nothing reaches outside it.
    if (type != DT_DIR && type != DT_REG) continue;
    DirEntry entry{name, Utf8ToUtf16(name), type == DT_DIR};
    std::u16string key = ToUpper(entry.name);
    auto [it, inserted] = listing->byUpperName.emplace(std::move(key), entry);
    // Two host names that differ only in case: the smaller one wins, whatever readdir's order.
    if (!inserted && entry.hostName < it->second.hostName) it->second = std::move(entry);
  }
  ::closedir(dir);
  std::unique_lock lock(mutex_);
  ++listingsRead_;
  listings_[hostDir] = listing;
  return listing;
}

std::optional<HostLocation> DirectoryCache::Locate(const DrivePath& path, LSTATUS* error) {
  const Drive* drive = descriptor_.FindDrive(path.drive);
  if (!drive || !SafeDriveFolder(drive->folder)) {
    *error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  if (!drive->present) {
    *error = ERROR_NOT_READY;
    return std::nullopt;
  }
  HostLocation loc;
  std::filesystem::path cur = machineDir_ / drive->folder;
  if (path.parts.empty()) {
    struct stat st {};
    if (::stat(cur.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      *error = ERROR_PATH_NOT_FOUND;
      return std::nullopt;
    }
    loc.host = loc.parentHost = cur;
    loc.exists = loc.parentExists = loc.isDir = loc.isRoot = true;
    return loc;
  }
  bool existing = true;
  for (std::size_t i = 0; i < path.parts.size(); ++i) {
    const bool last = i + 1 == path.parts.size();
    if (last) loc.parentHost = cur;
    if (!existing) {
      cur /= Utf16ToUtf8(path.parts[i]);
      continue;
    }
    auto listing = Get(cur.string());
    const DirEntry* entry = nullptr;
    if (listing) {
      auto it = listing->byUpperName.find(ToUpper(path.parts[i]));
      if (it != listing->byUpperName.end()) entry = &it->second;
    } else if (i == 0) {
      *error = ERROR_PATH_NOT_FOUND;
      return std::nullopt;
    }
    if (!entry) {
      existing = false;
      loc.parentExists = last;
      cur /= Utf16ToUtf8(path.parts[i]);
      if (last) loc.name = path.parts[i];
      continue;
    }
    cur /= entry->hostName;
    if (last) {
      loc.exists = loc.parentExists = true;
      loc.isDir = entry->isDir;
      loc.name = entry->name;
    } else if (!entry->isDir) {
      existing = false;  // a file where a folder is needed: nothing below exists
    }
  }
  loc.host = cur;
  return loc;
}

std::optional<std::vector<DirEntry>> DirectoryCache::List(const std::filesystem::path& hostDir) {
  auto listing = Get(hostDir.string());
  if (!listing) return std::nullopt;
  std::vector<std::pair<const std::u16string*, const DirEntry*>> sorted;
  sorted.reserve(listing->byUpperName.size());
  for (const auto& [key, e] : listing->byUpperName) sorted.emplace_back(&key, &e);
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return *a.first < *b.first; });
  std::vector<DirEntry> out;
  out.reserve(sorted.size());
  for (const auto& [key, e] : sorted) out.push_back(*e);
  return out;
}

void DirectoryCache::Forget(const std::filesystem::path& hostDir) {
  std::unique_lock lock(mutex_);
  listings_.erase(hostDir.string());
}

void DirectoryCache::ForgetAll() {
  std::unique_lock lock(mutex_);
  listings_.clear();
}

std::uint64_t OpenFiles::Open(std::uint64_t dev, std::uint64_t ino, DWORD access, DWORD share) {
  std::lock_guard lock(mutex_);
  for (const auto& e : open_) {
    if (e.dev != dev || e.ino != ino) continue;
    if ((access & ~e.share) != 0 || (e.access & ~share) != 0) return 0;
  }
  const std::uint64_t id = next_++;
  open_.push_back({id, dev, ino, access, share});
  return id;
}

void OpenFiles::Close(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  std::erase_if(open_, [id](const Entry& e) { return e.id == id; });
}

bool OpenFiles::MayDelete(std::uint64_t dev, std::uint64_t ino) {
  std::lock_guard lock(mutex_);
  for (const auto& e : open_) {
    if (e.dev == dev && e.ino == ino && (e.share & kDelete) == 0) return false;
  }
  return true;
}

std::optional<HostFileInfo> StatHost(const std::filesystem::path& host) {
  struct statx sx {};
  if (::statx(AT_FDCWD, host.c_str(), AT_SYMLINK_NOFOLLOW,
              STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_BTIME, &sx) != 0) {
    return std::nullopt;
  }
  if (!S_ISDIR(sx.stx_mode) && !S_ISREG(sx.stx_mode)) return std::nullopt;
  HostFileInfo info;
  info.isDir = S_ISDIR(sx.stx_mode);
  info.size = info.isDir ? 0 : sx.stx_size;
  info.lastWrite = FileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  info.lastAccess = FileTimeFromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  info.creation = (sx.stx_mask & STATX_BTIME)
                      ? FileTimeFromUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                      : info.lastWrite;
  return info;
}

DWORD HostFileAttributes(const std::filesystem::path& host) {
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return INVALID_FILE_ATTRIBUTES;
  const bool dir = S_ISDIR(st.st_mode);
  DWORD attrs = dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  char buf[32];
  const ssize_t n = ::lgetxattr(host.c_str(), kAttrXattr, buf, sizeof buf - 1);
  if (n > 0) {
    buf[n] = 0;
    const DWORD stored = static_cast<DWORD>(std::strtoul(buf, nullptr, 10));
    attrs |= stored & kStoredBits;
    if (stored & kNoArchiveMark) attrs &= ~FILE_ATTRIBUTE_ARCHIVE;
  }
  if ((st.st_mode & S_IWUSR) == 0) attrs |= FILE_ATTRIBUTE_READONLY;
  if (attrs == 0) attrs = FILE_ATTRIBUTE_NORMAL;
  return attrs;
}

bool SetHostFileAttributes(const std::filesystem::path& host, DWORD attributes, LSTATUS* error) {
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) {
    *error = StatusFromErrno(errno);
    return false;
  }
  const bool dir = S_ISDIR(st.st_mode);
  const mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (st.st_mode & ~mode_t{0222})
                                                             : (st.st_mode | S_IWUSR);
  if ((mode & 07777) != (st.st_mode & 07777) && ::chmod(host.c_str(), mode & 07777) != 0) {
    *error = StatusFromErrno(errno);
    return false;
  }
  DWORD stored = attributes & kStoredBits;
  if (!dir && !(attributes & FILE_ATTRIBUTE_ARCHIVE)) stored |= kNoArchiveMark;
  const bool plain = dir ? stored == 0 : stored == FILE_ATTRIBUTE_ARCHIVE;
  if (plain) {
    if (::lremovexattr(host.c_str(), kAttrXattr) != 0 && errno != ENODATA && errno != ENOTSUP) {
      *error = StatusFromErrno(errno);
      return false;
    }
    return true;
  }
  const std::string text = std::to_string(stored);
  if (::lsetxattr(host.c_str(), kAttrXattr, text.data(), text.size(), 0) != 0) {
    *error = errno == ENOTSUP ? ERROR_NOT_SUPPORTED : StatusFromErrno(errno);
    return false;
  }
  return true;
}

}  // namespace bc::platform::sim
