// IFileSystem of a simulated machine: Windows paths resolved over the machine's host folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "base/text.h"
#include "platform/files.h"
#include "platform/path_string.h"
#include "platform/shell.h"
#include "platform/sim/files_cache.h"
#include "platform/sim/files_internal.h"
#include "platform/sim/files_paths.h"
#include "platform/sim/files_state.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/processes_state.h"
#include "platform/sim/registry_paths.h"
#include "platform/sim/shell_folders.h"

namespace bc::platform::sim {
namespace {

DWORD ShareBits(DWORD share) {
  DWORD bits = 0;
  if (share & FILE_SHARE_READ) bits |= OpenFiles::kRead;
  if (share & FILE_SHARE_WRITE) bits |= OpenFiles::kWrite;
  if (share & FILE_SHARE_DELETE) bits |= OpenFiles::kDelete;
  return bits;
}

DWORD AccessBits(DWORD access) {
  DWORD bits = 0;
  if (access & (GENERIC_READ | GENERIC_ALL | 0x1u)) bits |= OpenFiles::kRead;
  if (access & (GENERIC_WRITE | GENERIC_ALL | 0x2u | 0x4u)) bits |= OpenFiles::kWrite;
  if (access & DELETE) bits |= OpenFiles::kDelete;
  return bits;
}

// Answers a buffer-filling call: the length without NUL when it fits, else the size needed.
DWORD FillBuffer(const std::u16string& text, DWORD cch, std::u16string* out) {
  if (out) out->clear();
  if (cch > text.size()) {
    if (out) *out = text;
    return static_cast<DWORD>(text.size());
  }
  return static_cast<DWORD>(text.size() + 1);
}

class FileObject final : public HandleObject {
 public:
  FileObject(int fd, DWORD access, OpenFiles& table, std::uint64_t openId)
      : fd(fd), access(access), table_(table), openId_(openId) {}
  ~FileObject() override {
    if (fd >= 0) ::close(fd);
    table_.Close(openId_);
  }
  int fd;
  DWORD access;  // OpenFiles bits
  std::mutex mutex;
  std::uint64_t position = 0;

 private:
  OpenFiles& table_;
  std::uint64_t openId_;
};

class FindObject final : public HandleObject {
 public:
  std::vector<WIN32_FIND_DATAW> entries;
  std::size_t next = 0;
  std::mutex mutex;
};

WIN32_FIND_DATAW FindData(const std::filesystem::path& host, std::u16string name) {
  WIN32_FIND_DATAW data;
  data.cFileName = std::move(name);
  data.dwFileAttributes = HostFileAttributes(host);
  if (auto info = StatHost(host)) {
    data.ftCreationTime = info->creation;
    data.ftLastAccessTime = info->lastAccess;
    data.ftLastWriteTime = info->lastWrite;
    data.nFileSize = info->size;
  }
  return data;
}

class SimFileSystem final : public IFileSystem {
 public:
  explicit SimFileSystem(SimProcess& process)
      : process_(process), files_(process.Machine().Files()), cache_(files_.Cache()) {}

  // --- Attributes ------------------------------------------------------------------------------
  DWORD GetFileAttributesW(std::u16string_view path) override {
    auto t = ResolveExisting(path);
    if (!t) return INVALID_FILE_ATTRIBUTES;
    if (t->loc.isRoot)
      return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attrs = HostFileAttributes(t->loc.host);
    if (attrs == INVALID_FILE_ATTRIBUTES) Fail(ERROR_FILE_NOT_FOUND);
    return attrs;
  }

  BOOL GetFileAttributesExW(std::u16string_view path, WIN32_FILE_ATTRIBUTE_DATA* data) override {
    auto t = ResolveExisting(path);
    if (!t) return 0;
    auto info = StatHost(t->loc.host);
    if (!info) return Fail(ERROR_FILE_NOT_FOUND);
    data->dwFileAttributes =
        t->loc.isRoot ? (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)
                      : HostFileAttributes(t->loc.host);
    data->ftCreationTime = info->creation;
    data->ftLastAccessTime = info->lastAccess;
    data->ftLastWriteTime = info->lastWrite;
    data->nFileSize = info->size;
    return 1;
  }

  BOOL SetFileAttributesW(std::u16string_view path, DWORD attributes) override {
    auto t = ResolveExisting(path);
    if (!t) return 0;
    if (t->loc.isRoot || !MayWrite(t->win)) return Fail(ERROR_ACCESS_DENIED);
    LSTATUS e = 0;
    if (!SetHostFileAttributes(t->loc.host, attributes, &e)) return Fail(e);
    return 1;
  }

  BOOL PathFileExistsW(std::u16string_view path) override {
    if (path.empty()) return 0;
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
  }

  // --- Creating, deleting, moving ------------------------------------------------------------
  BOOL CreateDirectoryW(std::u16string_view path) override {
    auto t = Resolve(path);
    if (!t) return 0;
    if (t->loc.exists) return Fail(ERROR_ALREADY_EXISTS);
    if (!t->loc.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
    if (!MayWrite(t->win)) return Fail(ERROR_ACCESS_DENIED);
    if (::mkdir(t->loc.host.c_str(), 0777) != 0) return Fail(StatusFromErrno(errno));
    cache_.Forget(t->loc.parentHost);
    return 1;
  }

  int SHCreateDirectoryExW(std::u16string_view path) override {
    if (PathIsRelativeW(path) && !PathIsUNCW(path)) {
      SetError(ERROR_BAD_PATHNAME);
      return ERROR_BAD_PATHNAME;
    }
    auto t = Resolve(path);
    if (!t) return static_cast<int>(StateOf(process_).LastError());
    if (t->loc.exists) {
      const int e = t->loc.isDir ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
      SetError(static_cast<DWORD>(e));
      return e;
    }
    for (std::size_t n = 1; n <= t->win.parts.size(); ++n) {
      DrivePath prefix = t->win;
      prefix.parts.resize(n);
      LSTATUS e = 0;
      auto loc = cache_.Locate(prefix, &e);
      if (!loc) {
        SetError(e);
        return e;
      }
      if (loc->exists) {
        if (!loc->isDir) {
          SetError(ERROR_PATH_NOT_FOUND);
          return ERROR_PATH_NOT_FOUND;
        }
        continue;
      }
      if (!MayWrite(prefix)) {
        SetError(ERROR_ACCESS_DENIED);
        return ERROR_ACCESS_DENIED;
      }
      if (::mkdir(loc->host.c_str(), 0777) != 0 && errno != EEXIST) {
        e = StatusFromErrno(errno);
        SetError(e);
        return e;
      }
      cache_.Forget(loc->parentHost);
    }
    SetError(ERROR_SUCCESS);
    return ERROR_SUCCESS;
  }

  BOOL RemoveDirectoryW(std::u16string_view path) override {
    auto t = ResolveExisting(path);
    if (!t) return 0;
    if (!t->loc.isDir) return Fail(ERROR_DIRECTORY);
    if (t->loc.isRoot || !MayWrite(t->win)) return Fail(ERROR_ACCESS_DENIED);
    if (HostFileAttributes(t->loc.host) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    if (::rmdir(t->loc.host.c_str()) != 0) return Fail(StatusFromErrno(errno));
    cache_.Forget(t->loc.host);
    cache_.Forget(t->loc.parentHost);
    return 1;
  }

  BOOL DeleteFileW(std::u16string_view path) override {
    auto t = ResolveExisting(path);
    if (!t) return 0;
    if (t->loc.isDir || !MayWrite(t->win)) return Fail(ERROR_ACCESS_DENIED);
    if (HostFileAttributes(t->loc.host) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    if (!MayDelete(t->loc.host)) return Fail(ERROR_SHARING_VIOLATION);
    if (::unlink(t->loc.host.c_str()) != 0) return Fail(StatusFromErrno(errno));
    cache_.Forget(t->loc.parentHost);
    return 1;
  }

  BOOL MoveFileExW(std::u16string_view existing, std::u16string_view newName,
                   DWORD flags) override {
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
      if (!StateOf(process_).IsAdministrator()) return Fail(ERROR_ACCESS_DENIED);
      auto from = Resolve(existing);
      if (!from) return 0;
      std::u16string to;
      if (!newName.empty()) {
        auto dest = Resolve(newName);
        if (!dest) return 0;
        to = dest->win.ToString();
      }
      std::string error;
      const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
      if (!AppendPendingRename(process_.Machine().Folder(), {from->win.ToString(), to, replace},
                               &error)) {
        return Fail(ERROR_WRITE_FAULT);
      }
      return 1;
    }
    auto from = ResolveExisting(existing);
    if (!from) return 0;
    if (newName.empty()) return Fail(ERROR_INVALID_PARAMETER);
    auto to = Resolve(newName);
    if (!to) return 0;
    if (from->loc.isRoot || !MayWrite(from->win) || !MayWrite(to->win)) {
      return Fail(ERROR_ACCESS_DENIED);
    }
    if (!to->loc.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
    const bool sameEntry = to->loc.exists && to->loc.host == from->loc.host;
    if (to->loc.exists && !sameEntry) {
      if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
      if (to->loc.isDir || from->loc.isDir) return Fail(ERROR_ACCESS_DENIED);
      if (HostFileAttributes(to->loc.host) & FILE_ATTRIBUTE_READONLY) {
        return Fail(ERROR_ACCESS_DENIED);
      }
      if (!MayDelete(to->loc.host)) return Fail(ERROR_SHARING_VIOLATION);
    }
    if (!MayDelete(from->loc.host)) return Fail(ERROR_SHARING_VIOLATION);
    const bool crossDrive = from->win.drive != to->win.drive;
    if (crossDrive && !(flags & MOVEFILE_COPY_ALLOWED)) return Fail(ERROR_NOT_SAME_DEVICE);
    if (crossDrive && from->loc.isDir) return Fail(ERROR_ACCESS_DENIED);
    // The new name keeps the spelling the caller gave.
    const std::filesystem::path target = to->loc.parentHost / Utf16ToUtf8(to->win.parts.back());
    if (::rename(from->loc.host.c_str(), target.c_str()) != 0) {
      if (errno != EXDEV || from->loc.isDir) return Fail(StatusFromErrno(errno));
      std::error_code ec;
      std::filesystem::copy_file(from->loc.host, target,
                                 std::filesystem::copy_options::overwrite_existing, ec);
      if (ec || ::unlink(from->loc.host.c_str()) != 0) return Fail(ERROR_WRITE_FAULT);
    }
    if (from->loc.isDir) {
      cache_.ForgetAll();
    } else {
      cache_.Forget(from->loc.parentHost);
      cache_.Forget(to->loc.parentHost);
    }
    return 1;
  }

  BOOL CopyFileW(std::u16string_view existing, std::u16string_view newName,
                 BOOL failIfExists) override {
    auto from = ResolveExisting(existing);
    if (!from) return 0;
    if (from->loc.isDir) return Fail(ERROR_ACCESS_DENIED);
    auto to = Resolve(newName);
    if (!to) return 0;
    if (!to->loc.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
    if (!MayWrite(to->win)) return Fail(ERROR_ACCESS_DENIED);
    if (to->loc.exists) {
      if (failIfExists) return Fail(ERROR_FILE_EXISTS);
      if (to->loc.isDir || (HostFileAttributes(to->loc.host) & FILE_ATTRIBUTE_READONLY)) {
        return Fail(ERROR_ACCESS_DENIED);
      }
      if (to->loc.host == from->loc.host) return Fail(ERROR_SHARING_VIOLATION);
    }
    const std::filesystem::path target =
        to->loc.exists ? to->loc.host : to->loc.parentHost / Utf16ToUtf8(to->win.parts.back());
    std::error_code ec;
    std::filesystem::copy_file(from->loc.host, target,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return Fail(StatusFromErrno(ec.value()));
    // The copy keeps the attributes and the last-write time.
    struct stat st {};
    if (::stat(from->loc.host.c_str(), &st) == 0) {
      const timespec times[2] = {st.st_atim, st.st_mtim};
      ::utimensat(AT_FDCWD, target.c_str(), times, 0);
    }
    LSTATUS e = 0;
    SetHostFileAttributes(target, HostFileAttributes(from->loc.host) | FILE_ATTRIBUTE_ARCHIVE, &e);
    cache_.Forget(to->loc.parentHost);
    return 1;
  }

  // --- Handles -------------------------------------------------------------------------------
  HANDLE CreateFileW(std::u16string_view path, DWORD access, DWORD shareMode, DWORD disposition,
                     DWORD flagsAndAttributes) override {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
      SetError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    auto t = Resolve(path);
    if (!t) return INVALID_HANDLE_VALUE;
    const DWORD want = AccessBits(access);
    const bool writes = (want & OpenFiles::kWrite) != 0;
    if (t->loc.exists && (t->loc.isDir || t->win.trailingSeparator)) {
      SetError(t->loc.isDir ? ERROR_ACCESS_DENIED : ERROR_INVALID_NAME);
      return INVALID_HANDLE_VALUE;
    }
    if (!t->loc.exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
      SetError(t->loc.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    if (t->loc.exists && disposition == CREATE_NEW) {
      SetError(ERROR_FILE_EXISTS);
      return INVALID_HANDLE_VALUE;
    }
    if (!t->loc.exists && !t->loc.parentExists) {
      SetError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    const bool truncates =
        t->loc.exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (disposition == TRUNCATE_EXISTING && !writes) {
      SetError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    const bool creates = !t->loc.exists;
    if ((writes || truncates || creates) && !MayWrite(t->win)) {
      SetError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    if (t->loc.exists && (writes || truncates) &&
        (HostFileAttributes(t->loc.host) & FILE_ATTRIBUTE_READONLY)) {
      SetError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    const std::filesystem::path host =
        creates ? t->loc.parentHost / Utf16ToUtf8(t->win.parts.back()) : t->loc.host;
    int flags = O_CLOEXEC | (writes || truncates ? O_RDWR : O_RDONLY);
    if (creates) flags |= O_CREAT | O_EXCL;
    const int fd = ::open(host.c_str(), flags, 0666);
    if (fd < 0) {
      SetError(StatusFromErrno(errno));
      return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    ::fstat(fd, &st);
    const std::uint64_t openId =
        files_.Open().Open(st.st_dev, st.st_ino, want, ShareBits(shareMode));
    if (openId == 0) {
      ::close(fd);
      if (creates) ::unlink(host.c_str());
      SetError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<FileObject>(fd, want, files_.Open(), openId);
    if (truncates && ::ftruncate(fd, 0) != 0) {
      SetError(StatusFromErrno(errno));
      return INVALID_HANDLE_VALUE;
    }
    if (creates || disposition == CREATE_ALWAYS) {
      LSTATUS e = 0;
      const DWORD attrs = flagsAndAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
      SetHostFileAttributes(host, attrs | FILE_ATTRIBUTE_ARCHIVE, &e);
    }
    if (creates) cache_.Forget(t->loc.parentHost);
    const HANDLE h = StateOf(process_).Add(object);
    // Windows reports an existing file that CREATE_ALWAYS / OPEN_ALWAYS opened.
    SetError((t->loc.exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS))
                 ? ERROR_ALREADY_EXISTS
                 : ERROR_SUCCESS);
    return h;
  }

  BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) override {
    if (read) *read = 0;
    auto f = StateOf(process_).Get<FileObject>(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    if (!(f->access & OpenFiles::kRead)) return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(f->mutex);
    std::size_t done = 0;
    while (done < toRead) {
      const ssize_t n = ::pread(f->fd, static_cast<char*>(buffer) + done, toRead - done,
                                static_cast<off_t>(f->position + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(StatusFromErrno(errno));
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    f->position += done;
    if (read) *read = static_cast<DWORD>(done);
    return 1;
  }

  BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) override {
    if (written) *written = 0;
    auto f = StateOf(process_).Get<FileObject>(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    if (!(f->access & OpenFiles::kWrite)) return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(f->mutex);
    std::size_t done = 0;
    while (done < toWrite) {
      const ssize_t n = ::pwrite(f->fd, static_cast<const char*>(buffer) + done, toWrite - done,
                                 static_cast<off_t>(f->position + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        f->position += done;
        if (written) *written = static_cast<DWORD>(done);
        return Fail(StatusFromErrno(errno));
      }
      done += static_cast<std::size_t>(n);
    }
    f->position += done;
    if (written) *written = static_cast<DWORD>(done);
    return 1;
  }

  BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::uint64_t* newPosition,
                        DWORD moveMethod) override {
    auto f = StateOf(process_).Get<FileObject>(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    std::lock_guard lock(f->mutex);
    std::int64_t base = 0;
    if (moveMethod == FILE_CURRENT) {
      base = static_cast<std::int64_t>(f->position);
    } else if (moveMethod == FILE_END) {
      struct stat st {};
      if (::fstat(f->fd, &st) != 0) return Fail(StatusFromErrno(errno));
      base = st.st_size;
    } else if (moveMethod != FILE_BEGIN) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::int64_t pos = base + distance;
    if (pos < 0) return Fail(ERROR_INVALID_PARAMETER);  // ERROR_NEGATIVE_SEEK on Windows
    f->position = static_cast<std::uint64_t>(pos);
    if (newPosition) *newPosition = f->position;
    return 1;
  }

  BOOL SetEndOfFile(HANDLE file) override {
    auto f = StateOf(process_).Get<FileObject>(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    if (!(f->access & OpenFiles::kWrite)) return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(f->mutex);
    if (::ftruncate(f->fd, static_cast<off_t>(f->position)) != 0) {
      return Fail(StatusFromErrno(errno));
    }
    return 1;
  }

  BOOL GetFileSizeEx(HANDLE file, std::uint64_t* size) override {
    auto f = StateOf(process_).Get<FileObject>(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    struct stat st {};
    if (::fstat(f->fd, &st) != 0) return Fail(StatusFromErrno(errno));
    *size = static_cast<std::uint64_t>(st.st_size);
    return 1;
  }

  BOOL GetFileTime(HANDLE file, FileTime* creation, FileTime* lastAccess,
                   FileTime* lastWrite) override {
    auto f = StateOf(process_).Get<FileObject>(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    struct statx sx {};
    if (::statx(f->fd, "", AT_EMPTY_PATH, STATX_MTIME | STATX_ATIME | STATX_BTIME, &sx) != 0) {
      return Fail(StatusFromErrno(errno));
    }
    const FileTime write = FileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    if (lastWrite) *lastWrite = write;
    if (lastAccess) *lastAccess = FileTimeFromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    if (creation) {
      *creation = (sx.stx_mask & STATX_BTIME)
                      ? FileTimeFromUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                      : write;
    }
    return 1;
  }

  BOOL FlushFileBuffers(HANDLE file) override {
    auto f = StateOf(process_).Get<FileObject>(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    if (!(f->access & OpenFiles::kWrite)) return Fail(ERROR_ACCESS_DENIED);
    if (::fsync(f->fd) != 0) return Fail(StatusFromErrno(errno));
    return 1;
  }

  BOOL CloseHandle(HANDLE file) override {
    if (!StateOf(process_).Close<FileObject>(file)) return Fail(ERROR_INVALID_HANDLE);
    return 1;
  }

  // --- Listing ---------------------------------------------------------------------------------
  HANDLE FindFirstFileW(std::u16string_view pattern, WIN32_FIND_DATAW* data) override {
    LSTATUS e = 0;
    auto full = FullPathName(pattern, StateOf(process_).CurrentDirectory(), &e);
    std::optional<DrivePath> win;
    if (full) win = SplitDrivePath(*full, true, &e);
    if (!win) {
      SetError(e);
      return INVALID_HANDLE_VALUE;
    }
    if (win->parts.empty() || win->trailingSeparator) {
      SetError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    if (StateOf(process_).RedirectsFiles()) RedirectForWow64(Descriptor(), &*win);
    const std::u16string spec = win->parts.back();
    DrivePath folder = *win;
    folder.parts.pop_back();
    auto loc = cache_.Locate(folder, &e);
    if (!loc) {
      SetError(e);
      return INVALID_HANDLE_VALUE;
    }
    if (!loc->exists || !loc->isDir) {
      SetError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<FindObject>();
    const bool wild = spec.find_first_of(u"*?") != std::u16string::npos;
    if (wild && !loc->isRoot) {
      for (const char16_t* dot : {u".", u".."}) {
        if (MatchesFilePattern(spec, dot)) find->entries.push_back(FindData(loc->host, dot));
      }
    }
    auto listing = cache_.List(loc->host);
    if (!listing) {
      SetError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    for (const auto& entry : *listing) {
      const bool match =
          wild ? MatchesFilePattern(spec, entry.name) : EqualsNoCase(spec, entry.name);
      if (match) find->entries.push_back(FindData(loc->host / entry.hostName, entry.name));
    }
    if (find->entries.empty()) {
      SetError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    *data = find->entries[0];
    find->next = 1;
    SetError(ERROR_SUCCESS);
    return StateOf(process_).Add(find);
  }

  BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) override {
    auto find = StateOf(process_).Get<FindObject>(handle);
    if (!find) return Fail(ERROR_INVALID_HANDLE);
    std::lock_guard lock(find->mutex);
    if (find->next >= find->entries.size()) return Fail(ERROR_NO_MORE_FILES);
    *data = find->entries[find->next++];
    return 1;
  }

  BOOL FindClose(HANDLE handle) override {
    if (!StateOf(process_).Close<FindObject>(handle)) return Fail(ERROR_INVALID_HANDLE);
    return 1;
  }

  // --- Names and searching ---------------------------------------------------------------------
  DWORD GetFullPathNameW(std::u16string_view path, DWORD cch, std::u16string* out) override {
    LSTATUS e = 0;
    auto full = FullPathName(path, StateOf(process_).CurrentDirectory(), &e);
    if (!full) {
      SetError(e);
      if (out) out->clear();
      return 0;
    }
    return FillBuffer(*full, cch, out);
  }

  DWORD GetShortPathNameW(std::u16string_view path, DWORD cch, std::u16string* out) override {
    if (out) out->clear();
    if (!ResolveExisting(path)) return 0;
    return FillBuffer(std::u16string(path), cch, out);
  }

  DWORD GetCurrentDirectoryW(DWORD cch, std::u16string* out) override {
    return FillBuffer(StateOf(process_).CurrentDirectory(), cch, out);
  }

  BOOL SetCurrentDirectoryW(std::u16string_view path) override {
    auto t = ResolveExisting(path);
    if (!t) return 0;
    if (!t->loc.isDir) return Fail(ERROR_DIRECTORY);
    std::u16string dir = t->display.ToString();
    StateOf(process_).SetCurrentDirectory(dir);
    return 1;
  }

  DWORD GetTempPathW(DWORD cch, std::u16string* out) override {
    std::u16string dir;
    for (auto name : {u"TMP", u"TEMP", u"USERPROFILE"}) {
      if (auto v = StateOf(process_).GetVariable(name); v && !v->empty()) {
        dir = *v;
        break;
      }
    }
    if (dir.empty()) dir = Descriptor().WindowsDirectory();
    LSTATUS e = 0;
    if (auto full = FullPathName(dir, StateOf(process_).CurrentDirectory(), &e)) dir = *full;
    PathAddBackslashW(&dir);
    return FillBuffer(dir, cch, out);
  }

  UINT GetTempFileNameW(std::u16string_view dir, std::u16string_view prefix, UINT unique,
                        std::u16string* out) override {
    if (out) out->clear();
    std::u16string base(dir);
    PathAddBackslashW(&base);
    base += prefix.substr(0, 3);
    const auto name = [&base](UINT n) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%X", n);
      return base + Ascii(hex) + u".tmp";
    };
    if (unique != 0) {
      if (out) *out = name(unique & 0xFFFF);
      return unique & 0xFFFF;
    }
    auto folder = ResolveExisting(dir);
    if (!folder) return 0;
    if (!folder->loc.isDir) {
      SetError(ERROR_DIRECTORY);
      return 0;
    }
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch();
    UINT n = static_cast<UINT>(
        std::chrono::duration_cast<std::chrono::milliseconds>(ticks).count() & 0xFFFF);
    for (int tries = 0; tries < 0x10000; ++tries, n = (n + 1) & 0xFFFF) {
      if (n == 0) continue;
      const std::u16string candidate = name(n);
      const HANDLE h = CreateFileW(candidate, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
      if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        if (out) *out = candidate;
        SetError(ERROR_SUCCESS);
        return n;
      }
      const DWORD e = StateOf(process_).LastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_SHARING_VIOLATION) return 0;
    }
    SetError(ERROR_FILE_EXISTS);
    return 0;
  }

  DWORD SearchPathW(std::u16string_view path, std::u16string_view fileName,
                    std::u16string_view extension, DWORD cch, std::u16string* out) override {
    if (out) out->clear();
    if (fileName.empty()) {
      SetError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    std::u16string name(fileName);
    if (!extension.empty() && PathFindExtensionW(name).empty()) name += extension;
    const bool explicitPath = (name.size() >= 2 && name[1] == u':') || IsPathSeparator(name[0]) ||
                              name.starts_with(u".\\") || name.starts_with(u"..\\") ||
                              name.starts_with(u"./") || name.starts_with(u"../");
    std::vector<std::u16string> dirs;
    if (explicitPath) {
      dirs.emplace_back();
    } else if (!path.empty()) {
      for (auto d : SplitAll(path, u';')) {
        if (!TrimView(d).empty()) dirs.emplace_back(TrimView(d));
      }
    } else {
      dirs = DefaultSearchFolders(true);
    }
    for (const auto& d : dirs) {
      const std::u16string candidate = d.empty() ? name : PathJoin(d, name);
      LSTATUS e = 0;
      auto full = FullPathName(candidate, StateOf(process_).CurrentDirectory(), &e);
      if (!full) continue;
      if (GetFileAttributesW(*full) != INVALID_FILE_ATTRIBUTES) {
        SetError(ERROR_SUCCESS);
        return FillBuffer(*full, cch, out);
      }
    }
    SetError(ERROR_FILE_NOT_FOUND);
    return 0;
  }

  BOOL PathFindOnPathW(std::u16string* path,
                       const std::vector<std::u16string>* otherDirs) override {
    if (!path || path->empty() || !PathIsFileSpecW(*path)) return 0;
    std::vector<std::u16string> dirs;
    if (otherDirs) dirs = *otherDirs;
    for (auto& d : DefaultSearchFolders(false)) dirs.push_back(std::move(d));
    for (const auto& d : dirs) {
      if (d.empty()) continue;
      std::u16string dir = d;
      if (dir.find(u'%') != std::u16string::npos) {
        std::u16string expanded;
        if (ExpandEnvironmentStringsW(dir, MAX_PATH, &expanded) > 0 && !expanded.empty()) {
          dir = expanded;
        }
      }
      const std::u16string candidate = PathJoin(dir, *path);
      if (candidate.size() >= MAX_PATH) continue;
      if (PathFileExistsW(candidate)) {
        *path = candidate;
        return 1;
      }
    }
    return 0;
  }

  BOOL PathIsNetworkPathW(std::u16string_view path) override {
    if (PathIsUNCW(path)) return 1;
    if (path.size() >= 2 && path[1] == u':') {
      const Drive* d = Descriptor().FindDrive(path[0]);
      return d && d->type == DriveType::Network ? 1 : 0;
    }
    return 0;
  }

  BOOL PathSearchAndQualifyW(std::u16string_view path, std::u16string* out, UINT cch) override {
    if (SearchPathW({}, path, u".exe", cch, out) > 0 && out && !out->empty()) return 1;
    const DWORD n = GetFullPathNameW(path, cch, out);
    return n > 0 && n < cch ? 1 : 0;
  }

  // --- Drives ----------------------------------------------------------------------------------
  DWORD GetLogicalDriveStringsW(DWORD cch, std::u16string* out) override {
    if (out) out->clear();
    std::u16string all;
    for (const Drive& d : SortedDrives()) {
      all.push_back(d.letter);
      all += u":\\";
      all.push_back(u'\0');
    }
    if (cch < all.size() + 1) return static_cast<DWORD>(all.size() + 1);
    if (out) *out = all + std::u16string(1, u'\0');
    return static_cast<DWORD>(all.size());
  }

  UINT GetDriveTypeW(std::u16string_view root) override {
    std::u16string r(root);
    if (r.empty() || r == u"\\" || r == u"/") r = StateOf(process_).CurrentDirectory().substr(0, 2);
    if (r.size() == 3 && IsPathSeparator(r[2])) r.resize(2);
    if (r.size() != 2 || r[1] != u':') return DRIVE_NO_ROOT_DIR;
    const Drive* d = Descriptor().FindDrive(r[0]);
    if (!d) return DRIVE_NO_ROOT_DIR;
    return static_cast<UINT>(d->type);
  }

  DWORD QueryDosDeviceW(std::u16string_view device, DWORD cch, std::u16string* out) override {
    if (out) out->clear();
    std::u16string text;
    if (device.empty()) {
      for (const Drive& d : SortedDrives()) {
        text.push_back(d.letter);
        text += u":";
        text.push_back(u'\0');
      }
      text.push_back(u'\0');
    } else {
      std::u16string dev = DriveDeviceName(
          Descriptor(), device.size() == 2 && device[1] == u':' ? device[0] : u'\0');
      if (dev.empty()) {
        SetError(ERROR_FILE_NOT_FOUND);
        return 0;
      }
      text = dev;
      text.push_back(u'\0');
      text.push_back(u'\0');
    }
    if (cch < text.size()) {
      SetError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    if (out) *out = text;
    return static_cast<DWORD>(text.size());
  }

  // --- Environment -----------------------------------------------------------------------------
  DWORD ExpandEnvironmentStringsW(std::u16string_view source, DWORD cch,
                                  std::u16string* out) override {
    if (out) out->clear();
    std::u16string result;
    std::size_t i = 0;
    while (i < source.size()) {
      if (source[i] != u'%') {
        result.push_back(source[i++]);
        continue;
      }
      const std::size_t close = source.find(u'%', i + 1);
      if (close == std::u16string_view::npos) {
        result.append(source.substr(i));
        break;
      }
      const std::u16string_view name = source.substr(i + 1, close - i - 1);
      std::optional<std::u16string> value;
      if (!name.empty()) value = StateOf(process_).GetVariable(name);
      if (value) {
        result += *value;
        i = close + 1;
      } else {
        // Unknown: kept as written; the closing "%" may open the next name.
        result.push_back(u'%');
        result.append(name);
        i = close;
      }
    }
    const DWORD needed = static_cast<DWORD>(result.size() + 1);
    if (cch >= needed && out) *out = std::move(result);
    return needed;
  }

  DWORD GetEnvironmentVariableW(std::u16string_view name, DWORD cch, std::u16string* out) override {
    if (out) out->clear();
    auto value = StateOf(process_).GetVariable(name);
    if (!value) {
      SetError(ERROR_ENVVAR_NOT_FOUND);
      return 0;
    }
    return FillBuffer(*value, cch, out);
  }

  BOOL SetEnvironmentVariableW(std::u16string_view name, const std::u16string* value) override {
    if (name.empty() || name.find(u'=') != std::u16string_view::npos) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    StateOf(process_).SetVariable(name, value);
    return 1;
  }

 private:
  struct Target {
    DrivePath win;      // after redirection
    DrivePath display;  // as the caller named it
    HostLocation loc;
  };

  const MachineDescriptor& Descriptor() { return process_.Machine().Descriptor(); }
  void SetError(DWORD e) { StateOf(process_).SetLastError(e); }
  BOOL Fail(DWORD e) {
    SetError(e);
    return 0;
  }

  std::optional<Target> Resolve(std::u16string_view path) {
    auto t = ResolvePath(process_, path);
    if (!t) return std::nullopt;
    return Target{t->win, t->display, t->loc};
  }

  // As Resolve, and the path must exist.
  std::optional<Target> ResolveExisting(std::u16string_view path) {
    auto t = Resolve(path);
    if (!t) return std::nullopt;
    if (!t->loc.exists) {
      Fail(t->loc.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
      return std::nullopt;
    }
    if (t->win.trailingSeparator && !t->loc.isDir) {
      Fail(ERROR_INVALID_NAME);
      return std::nullopt;
    }
    return t;
  }

  bool MayWrite(const DrivePath& win) { return MayWriteTo(process_, win); }

  bool MayDelete(const std::filesystem::path& host) {
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) return true;
    return files_.Open().MayDelete(st.st_dev, st.st_ino);
  }

  std::vector<Drive> SortedDrives() {
    std::vector<Drive> drives = Descriptor().drives;
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return drives;
  }

  // The folders searched for a bare name: with the program and current folders (SearchPathW),
  // or without (PathFindOnPathW).
  std::vector<std::u16string> DefaultSearchFolders(bool searchPathOrder) {
    const MachineDescriptor& d = Descriptor();
    std::vector<std::u16string> dirs;
    if (searchPathOrder) {
      std::u16string program = process_.Identity().programPath;
      if (PathRemoveFileSpecW(&program) && !program.empty()) dirs.push_back(program);
    }
    dirs.push_back(SystemDirectory(d));
    if (searchPathOrder) {
      dirs.push_back(d.WindowsDirectory() + u"\\System");
      dirs.push_back(d.WindowsDirectory());
      dirs.push_back(StateOf(process_).CurrentDirectory());
    } else {
      dirs.push_back(d.WindowsDirectory());
      dirs.push_back(d.WindowsDirectory() + u"\\System");
    }
    if (auto pathVar = StateOf(process_).GetVariable(u"PATH")) {
      for (auto entry : SplitAll(*pathVar, u';')) {
        const auto trimmed = TrimView(entry);
        if (!trimmed.empty()) dirs.emplace_back(trimmed);
      }
    }
    return dirs;
  }

  SimProcess& process_;
  FilesState& files_;
  DirectoryCache& cache_;
};

}  // namespace

std::optional<ResolvedPath> ResolvePath(SimProcess& process, std::u16string_view path) {
  ProcessState& state = StateOf(process);
  LSTATUS e = 0;
  auto full = FullPathName(path, state.CurrentDirectory(), &e);
  std::optional<DrivePath> win;
  if (full) win = SplitDrivePath(*full, false, &e);
  if (!win) {
    state.SetLastError(e);
    return std::nullopt;
  }
  ResolvedPath r;
  r.display = *win;
  if (state.RedirectsFiles()) RedirectForWow64(process.Machine().Descriptor(), &*win);
  r.win = *win;
  auto loc = process.Machine().Files().Cache().Locate(r.win, &e);
  if (!loc) {
    state.SetLastError(e);
    return std::nullopt;
  }
  r.loc = std::move(*loc);
  return r;
}

bool MayWriteTo(SimProcess& process, const DrivePath& win) {
  ProcessState& state = StateOf(process);
  if (state.IsAdministrator()) return true;
  const MachineDescriptor& d = process.Machine().Descriptor();
  const std::u16string path = win.ToString();
  const std::u16string drive = d.WindowsDirectory().substr(0, 2);
  const std::u16string roots[] = {
      d.WindowsDirectory(),
      drive + u"\\Program Files",
      drive + u"\\Program Files (x86)",
      *SpecialFolderPath(d, process.Identity().user, false, CSIDL_COMMON_STARTMENU),
      *SpecialFolderPath(d, process.Identity().user, false, CSIDL_COMMON_DESKTOPDIRECTORY),
  };
  const auto under = [&path](const std::u16string& root) {
    return StartsWithNoCase(path, root) &&
           (path.size() == root.size() || path[root.size()] == u'\\');
  };
  // Everyone may create files in the Windows folder's Temp.
  if (under(d.WindowsDirectory() + u"\\Temp") && path.size() > d.WindowsDirectory().size() + 5) {
    return true;
  }
  for (const auto& root : roots) {
    if (under(root)) return false;
  }
  return true;
}

std::unique_ptr<IFileSystem> MakeSimFileSystem(SimProcess& process) {
  return std::make_unique<SimFileSystem>(process);
}

}  // namespace bc::platform::sim
