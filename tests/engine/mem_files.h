// A flat in-memory file system for the tests of the exclusion and results files: whole files by
// case-insensitive path, handles that read and write them, deletion and replacing moves, and
// injected failures (opening for writing, writing past a number of bytes). Calls the code under
// test does not make answer failure.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace bc::test {

using namespace bc::platform;

class MemFiles final : public IFileSystem {
 public:
  using Bytes = std::vector<std::uint8_t>;

  void Put(std::u16string_view path, Bytes bytes) { files_[ToUpper(path)] = std::move(bytes); }
  std::optional<Bytes> Get(std::u16string_view path) const {
    auto f = files_.find(ToUpper(path));
    return f == files_.end() ? std::nullopt : std::optional<Bytes>(f->second);
  }
  bool Exists(std::u16string_view path) const { return files_.count(ToUpper(path)) != 0; }
  std::size_t FileCount() const { return files_.size(); }

  bool failOpenForWrite = false;
  // When set, a handle that has written this many bytes fails every further write.
  std::optional<std::size_t> failWritesAfter;

  DWORD GetFileAttributesW(std::u16string_view path) override {
    return Exists(path) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
  }
  BOOL GetFileAttributesExW(std::u16string_view, WIN32_FILE_ATTRIBUTE_DATA*) override { return 0; }
  BOOL SetFileAttributesW(std::u16string_view, DWORD) override { return 0; }
  BOOL PathFileExistsW(std::u16string_view path) override { return Exists(path); }
  BOOL CreateDirectoryW(std::u16string_view) override { return 0; }
  int SHCreateDirectoryExW(std::u16string_view) override { return ERROR_ALREADY_EXISTS; }
  BOOL RemoveDirectoryW(std::u16string_view) override { return 0; }
  BOOL DeleteFileW(std::u16string_view path) override { return files_.erase(ToUpper(path)) != 0; }
  BOOL MoveFileExW(std::u16string_view from, std::u16string_view to, DWORD flags) override {
    auto f = files_.find(ToUpper(from));
    if (f == files_.end()) return 0;
    if (Exists(to) && !(flags & MOVEFILE_REPLACE_EXISTING)) return 0;
    Bytes bytes = std::move(f->second);
    files_.erase(f);
    files_[ToUpper(to)] = std::move(bytes);
    return 1;
  }
  BOOL CopyFileW(std::u16string_view, std::u16string_view, BOOL) override { return 0; }

  HANDLE CreateFileW(std::u16string_view path, DWORD access, DWORD, DWORD disposition,
                     DWORD) override {
    const std::u16string key = ToUpper(path);
    if (access & GENERIC_WRITE) {
      if (failOpenForWrite) return INVALID_HANDLE_VALUE;
      if (disposition == CREATE_ALWAYS) files_[key].clear();
    }
    if (!files_.count(key)) return INVALID_HANDLE_VALUE;
    const HANDLE h = next_++;
    handles_[h] = Open{key, 0, 0};
    return h;
  }
  BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) override {
    auto h = handles_.find(file);
    if (h == handles_.end()) return 0;
    const Bytes& bytes = files_[h->second.path];
    const std::size_t n = std::min<std::size_t>(toRead, bytes.size() - h->second.pos);
    if (n) std::memcpy(buffer, bytes.data() + h->second.pos, n);
    h->second.pos += n;
    *read = static_cast<DWORD>(n);
    return 1;
  }
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) override {
    auto h = handles_.find(file);
    if (h == handles_.end()) return 0;
    std::size_t n = toWrite;
    if (failWritesAfter) {
      if (h->second.written >= *failWritesAfter) return 0;
      n = std::min(n, *failWritesAfter - h->second.written);
    }
    Bytes& bytes = files_[h->second.path];
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    bytes.resize(std::max(bytes.size(), h->second.pos + n));
    std::memcpy(bytes.data() + h->second.pos, p, n);
    h->second.pos += n;
    h->second.written += n;
    *written = static_cast<DWORD>(n);
    return 1;
  }
  BOOL SetFilePointerEx(HANDLE, std::int64_t, std::uint64_t*, DWORD) override { return 0; }
  BOOL SetEndOfFile(HANDLE) override { return 0; }
  BOOL GetFileSizeEx(HANDLE file, std::uint64_t* size) override {
    auto h = handles_.find(file);
    if (h == handles_.end()) return 0;
    *size = files_[h->second.path].size();
    return 1;
  }
  BOOL GetFileTime(HANDLE, FileTime*, FileTime*, FileTime*) override { return 0; }
  BOOL FlushFileBuffers(HANDLE) override { return 1; }
  BOOL CloseHandle(HANDLE file) override { return handles_.erase(file) != 0; }
  HANDLE FindFirstFileW(std::u16string_view, WIN32_FIND_DATAW*) override {
    return INVALID_HANDLE_VALUE;
  }
  BOOL FindNextFileW(HANDLE, WIN32_FIND_DATAW*) override { return 0; }
  BOOL FindClose(HANDLE) override { return 0; }
  DWORD GetFullPathNameW(std::u16string_view, DWORD, std::u16string*) override { return 0; }
  DWORD GetShortPathNameW(std::u16string_view, DWORD, std::u16string*) override { return 0; }
  DWORD GetCurrentDirectoryW(DWORD, std::u16string*) override { return 0; }
  BOOL SetCurrentDirectoryW(std::u16string_view) override { return 0; }
  DWORD GetTempPathW(DWORD, std::u16string*) override { return 0; }
  UINT GetTempFileNameW(std::u16string_view, std::u16string_view, UINT, std::u16string*) override {
    return 0;
  }
  DWORD SearchPathW(std::u16string_view, std::u16string_view, std::u16string_view, DWORD,
                    std::u16string*) override {
    return 0;
  }
  BOOL PathFindOnPathW(std::u16string*, const std::vector<std::u16string>*) override { return 0; }
  BOOL PathIsNetworkPathW(std::u16string_view) override { return 0; }
  BOOL PathSearchAndQualifyW(std::u16string_view, std::u16string*, UINT) override { return 0; }
  DWORD GetLogicalDriveStringsW(DWORD, std::u16string*) override { return 0; }
  UINT GetDriveTypeW(std::u16string_view) override { return DRIVE_NO_ROOT_DIR; }
  DWORD QueryDosDeviceW(std::u16string_view, DWORD, std::u16string*) override { return 0; }
  DWORD ExpandEnvironmentStringsW(std::u16string_view, DWORD, std::u16string*) override {
    return 0;
  }
  DWORD GetEnvironmentVariableW(std::u16string_view, DWORD, std::u16string*) override { return 0; }
  BOOL SetEnvironmentVariableW(std::u16string_view, const std::u16string*) override { return 0; }

 private:
  struct Open {
    std::u16string path;
    std::size_t pos;
    std::size_t written;
  };
  std::map<std::u16string, Bytes> files_;
  std::map<HANDLE, Open> handles_;
  HANDLE next_ = 0x100;
};

// A platform made of a registry and a file system; the code under test asks for nothing else.
class MemPlatform final : public IPlatform {
 public:
  MemPlatform(IRegistry& registry, IFileSystem& files) : registry_(registry), files_(files) {}
  IRegistry& Registry() override { return registry_; }
  IFileSystem& Files() override { return files_; }
  IShell& Shell() override { Unexpected("Shell"); }
  ISystem& System() override { Unexpected("System"); }
  IProcesses& Processes() override { Unexpected("Processes"); }

 private:
  [[noreturn]] static void Unexpected(const char* what) {
    std::fprintf(stderr, "unexpected use of the platform's %s\n", what);
    std::abort();
  }
  IRegistry& registry_;
  IFileSystem& files_;
};

}  // namespace bc::test
