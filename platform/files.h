// Files, paths, drives and the environment (kernel32/shlwapi file calls) as one process sees them.
//
// Conventions of this interface:
// - Paths are Windows paths ("C:\Windows\system32\x.dll", "\\server\share\x", relative paths are
//   taken against the process's current directory). Lookups ignore letter case; "/" is a
//   separator; trailing dots and blanks of a name are dropped as Win32 drops them.
// - Calls that Windows declares BOOL (or that answer INVALID_FILE_ATTRIBUTES, INVALID_HANDLE_VALUE
//   or 0 on failure) set the calling thread's last error, read with ISystem::GetLastError.
// - Where Windows fills a caller's buffer of cch characters, the call takes cch (characters, the
//   NUL included) as Windows does, answers what Windows answers, and writes the text to *out only
//   when it fits (else *out is left empty).
// - On a 64-bit machine a 32-bit process sees System32 redirected to SysWOW64 until its thread
//   turns redirection off (ISystem::Wow64DisableWow64FsRedirection).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace bc::platform {

using UINT = std::uint32_t;
using HANDLE = std::uintptr_t;
inline constexpr HANDLE INVALID_HANDLE_VALUE = ~HANDLE{0};

inline constexpr DWORD MAX_PATH = 260;

// Status codes of the file calls beyond the registry's (winerror.h).
inline constexpr LSTATUS ERROR_INVALID_FUNCTION = 1;
inline constexpr LSTATUS ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr LSTATUS ERROR_NOT_SAME_DEVICE = 17;
inline constexpr LSTATUS ERROR_NOT_READY = 21;
inline constexpr LSTATUS ERROR_HANDLE_EOF = 38;
inline constexpr LSTATUS ERROR_NOT_SUPPORTED = 50;
inline constexpr LSTATUS ERROR_BAD_NETPATH = 53;
inline constexpr LSTATUS ERROR_BUFFER_OVERFLOW = 111;
inline constexpr LSTATUS ERROR_DISK_FULL = 112;
inline constexpr LSTATUS ERROR_BAD_PATHNAME = 161;
inline constexpr LSTATUS ERROR_ENVVAR_NOT_FOUND = 203;
inline constexpr LSTATUS ERROR_FILENAME_EXCED_RANGE = 206;

// File attributes.
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// CreateFileW: access (GENERIC_READ / GENERIC_WRITE of win32_types.h, or 0 for attributes only),
// sharing and disposition.
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;

// MoveFileExW flags.
inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
inline constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x4;
inline constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

// GetDriveTypeW answers.
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

// One entry of a FindFirstFileW listing.
struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes = 0;
  FileTime ftCreationTime = 0;
  FileTime ftLastAccessTime = 0;
  FileTime ftLastWriteTime = 0;
  std::uint64_t nFileSize = 0;
  std::u16string cFileName;
  std::u16string cAlternateFileName;  // the 8.3 name; empty when the long name is one
};

// GetFileAttributesExW's answer.
struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes = 0;
  FileTime ftCreationTime = 0;
  FileTime ftLastAccessTime = 0;
  FileTime ftLastWriteTime = 0;
  std::uint64_t nFileSize = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // --- Attributes and existence -------------------------------------------------------------
  // INVALID_FILE_ATTRIBUTES and ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when absent.
  virtual DWORD GetFileAttributesW(std::u16string_view path) = 0;
  virtual BOOL GetFileAttributesExW(std::u16string_view path, WIN32_FILE_ATTRIBUTE_DATA* data) = 0;
  // Keeps READONLY, HIDDEN, SYSTEM and ARCHIVE; NORMAL alone clears them.
  virtual BOOL SetFileAttributesW(std::u16string_view path, DWORD attributes) = 0;
  // shlwapi: TRUE for an existing file or folder.
  virtual BOOL PathFileExistsW(std::u16string_view path) = 0;

  // --- Creating, deleting, moving ------------------------------------------------------------
  // The parent must exist; ERROR_ALREADY_EXISTS when the name is taken.
  virtual BOOL CreateDirectoryW(std::u16string_view path) = 0;
  // shell32: creates every missing folder of a full path. Answers ERROR_SUCCESS,
  // ERROR_ALREADY_EXISTS (folder was there), ERROR_FILE_EXISTS (a file has that name),
  // ERROR_BAD_PATHNAME (relative path), or the error of the failing step.
  virtual int SHCreateDirectoryExW(std::u16string_view path) = 0;
  // Empty folders only (ERROR_DIR_NOT_EMPTY); a read-only folder answers ERROR_ACCESS_DENIED.
  virtual BOOL RemoveDirectoryW(std::u16string_view path) = 0;
  // Read-only files answer ERROR_ACCESS_DENIED; folders ERROR_ACCESS_DENIED as well.
  virtual BOOL DeleteFileW(std::u16string_view path) = 0;
  // Renames within or across drives (across only with MOVEFILE_COPY_ALLOWED). With
  // MOVEFILE_DELAY_UNTIL_REBOOT the rename (or, with an empty newName, the deletion) is recorded
  // for the next boot of the machine and needs an administrator.
  virtual BOOL MoveFileExW(std::u16string_view existing, std::u16string_view newName,
                           DWORD flags) = 0;
  virtual BOOL CopyFileW(std::u16string_view existing, std::u16string_view newName,
                         BOOL failIfExists) = 0;

  // --- Handles -------------------------------------------------------------------------------
  // access: GENERIC_READ, GENERIC_WRITE, both, or 0 (attributes and size only). Opening for
  // writing fails with ERROR_ACCESS_DENIED on a read-only file and ERROR_SHARING_VIOLATION when
  // another open handle of the machine does not share that access.
  virtual HANDLE CreateFileW(std::u16string_view path, DWORD access, DWORD shareMode,
                             DWORD creationDisposition, DWORD flagsAndAttributes) = 0;
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) = 0;
  // newPosition may be null.
  virtual BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::uint64_t* newPosition,
                                DWORD moveMethod) = 0;
  virtual BOOL SetEndOfFile(HANDLE file) = 0;
  virtual BOOL GetFileSizeEx(HANDLE file, std::uint64_t* size) = 0;
  // Any of the three may be null.
  virtual BOOL GetFileTime(HANDLE file, FileTime* creation, FileTime* lastAccess,
                           FileTime* lastWrite) = 0;
  virtual BOOL FlushFileBuffers(HANDLE file) = 0;
  // Closes a file handle (a listing handle closes with FindClose).
  virtual BOOL CloseHandle(HANDLE file) = 0;

  // --- Listing ---------------------------------------------------------------------------------
  // pattern: a folder followed by a name that may hold "*" and "?" ("C:\x\*", "C:\x\*.lnk").
  // Entries come in the order NTFS lists them (by upper-cased name), "." and ".." first in
  // folders other than a drive root. INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when nothing
  // matches, ERROR_PATH_NOT_FOUND when the folder is missing.
  virtual HANDLE FindFirstFileW(std::u16string_view pattern, WIN32_FIND_DATAW* data) = 0;
  // FALSE with ERROR_NO_MORE_FILES at the end.
  virtual BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;

  // --- Names and searching ---------------------------------------------------------------------
  // Length without NUL, or the size needed with NUL when cch is too small, or 0.
  virtual DWORD GetFullPathNameW(std::u16string_view path, DWORD cch, std::u16string* out) = 0;
  // The path must exist; this machine has no 8.3 names, so the answer is the path as given.
  virtual DWORD GetShortPathNameW(std::u16string_view path, DWORD cch, std::u16string* out) = 0;
  virtual DWORD GetCurrentDirectoryW(DWORD cch, std::u16string* out) = 0;
  virtual BOOL SetCurrentDirectoryW(std::u16string_view path) = 0;
  // The user's temporary folder with a trailing "\".
  virtual DWORD GetTempPathW(DWORD cch, std::u16string* out) = 0;
  // "<dir>\<first 3 of prefix><hex unique>.tmp". unique 0: the first free number from a
  // time-based start, and the file is created; else the name is only formed. 0 on failure.
  virtual UINT GetTempFileNameW(std::u16string_view dir, std::u16string_view prefix, UINT unique,
                                std::u16string* out) = 0;
  // path empty: the standard order (program folder, system folder, 16-bit system folder, Windows
  // folder, current folder, PATH). extension (".exe") is appended when fileName has none. Answers
  // the length of the found path (or the size needed), 0 with ERROR_FILE_NOT_FOUND.
  virtual DWORD SearchPathW(std::u16string_view path, std::u16string_view fileName,
                            std::u16string_view extension, DWORD cch, std::u16string* out) = 0;
  // shlwapi: looks a bare file name up in otherDirs (may be null), then the system folder, the
  // Windows folder, its "System" folder and the PATH folders; on success *path becomes the full
  // path. A path that is not a bare file name is not searched (FALSE).
  virtual BOOL PathFindOnPathW(std::u16string* path,
                               const std::vector<std::u16string>* otherDirs) = 0;
  // shlwapi: TRUE for UNC paths ("\\server\...") and for paths on network drives.
  virtual BOOL PathIsNetworkPathW(std::u16string_view path) = 0;
  // shlwapi: a bare name found by SearchPathW (with ".exe"), else the full path name.
  virtual BOOL PathSearchAndQualifyW(std::u16string_view path, std::u16string* out, UINT cch) = 0;

  // --- Drives ----------------------------------------------------------------------------------
  // "C:\<NUL>D:\<NUL><NUL>" (the NULs are characters of *out). Answers the length without the
  // final NUL, or the size needed when cch is too small.
  virtual DWORD GetLogicalDriveStringsW(DWORD cch, std::u16string* out) = 0;
  // root: "C:\" (also "C:"); empty or "\" means the current folder's drive. A longer path or an
  // unknown letter answers DRIVE_NO_ROOT_DIR.
  virtual UINT GetDriveTypeW(std::u16string_view root) = 0;
  // device: "C:" -> "\Device\HarddiskVolume1" (fixed drives count from 1 in drive order),
  // CD-ROM drives "\Device\CdRom0" ..., removable drives "\Device\Floppy0" ..., network drives
  // "\Device\LanmanRedirector\;X:0" - the names the registry's hive list uses. An empty device
  // lists every drive ("C:<NUL>D:<NUL><NUL>"). Answers the characters stored including the two
  // final NULs, 0 with ERROR_FILE_NOT_FOUND or ERROR_INSUFFICIENT_BUFFER.
  virtual DWORD QueryDosDeviceW(std::u16string_view device, DWORD cch, std::u16string* out) = 0;

  // --- Environment (of this process: the machine's, the user's and the WOW64 variables) ------
  // Unknown %NAME% stays as written; names ignore case. Answers the size of the expansion with
  // its NUL (also when cch is too small), 0 on failure.
  virtual DWORD ExpandEnvironmentStringsW(std::u16string_view source, DWORD cch,
                                          std::u16string* out) = 0;
  // Length without NUL, or the size needed; 0 with ERROR_ENVVAR_NOT_FOUND.
  virtual DWORD GetEnvironmentVariableW(std::u16string_view name, DWORD cch,
                                        std::u16string* out) = 0;
  // value null removes the variable. Changes only this process's block.
  virtual BOOL SetEnvironmentVariableW(std::u16string_view name, const std::u16string* value) = 0;
};

// Closes a file handle when it goes out of scope.
class FileHandle {
 public:
  FileHandle(IFileSystem& fs, HANDLE h) : fs_(&fs), h_(h) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& o) noexcept : fs_(o.fs_), h_(o.h_) { o.h_ = INVALID_HANDLE_VALUE; }
  ~FileHandle() {
    if (valid()) fs_->CloseHandle(h_);
  }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  IFileSystem* fs_;
  HANDLE h_;
};

// Reads a whole file; false when it cannot be opened or read (the thread's last error tells why).
inline bool ReadWholeFile(IFileSystem& fs, std::u16string_view path, std::string* bytes) {
  FileHandle f(fs, fs.CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!f.valid()) return false;
  bytes->clear();
  char buf[65536];
  for (;;) {
    DWORD got = 0;
    if (!fs.ReadFile(f.get(), buf, sizeof buf, &got)) return false;
    if (got == 0) return true;
    bytes->append(buf, got);
  }
}

// Creates or truncates a file and writes bytes into it.
inline bool WriteWholeFile(IFileSystem& fs, std::u16string_view path, std::string_view bytes) {
  FileHandle f(fs, fs.CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
  if (!f.valid()) return false;
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD put = 0;
    if (!fs.WriteFile(f.get(), bytes.data(), chunk, &put) || put == 0) return false;
    bytes.remove_prefix(put);
  }
  return true;
}

}  // namespace bc::platform
