// A file system that counts the calls it forwards to another one, and a platform that puts it in
// place of its inner platform's file system. Shows how often the file system is asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"

namespace bc::test {

class CountingFiles final : public platform::IFileSystem {
 public:
  using DWORD = platform::DWORD;
  using BOOL = platform::BOOL;
  using UINT = platform::UINT;
  using HANDLE = platform::HANDLE;
  using FileTime = platform::FileTime;
  using WIN32_FILE_ATTRIBUTE_DATA = platform::WIN32_FILE_ATTRIBUTE_DATA;
  using WIN32_FIND_DATAW = platform::WIN32_FIND_DATAW;

  explicit CountingFiles(platform::IFileSystem& inner) : inner_(inner) {}

  std::atomic<std::uint64_t> calls{0};
  // Runs after each call is counted, before it is forwarded (a test may throw from it).
  std::function<void()> onCall;

  DWORD GetFileAttributesW(std::u16string_view path) override {
    Count();
    return inner_.GetFileAttributesW(path);
  }
  BOOL GetFileAttributesExW(std::u16string_view path, WIN32_FILE_ATTRIBUTE_DATA* data) override {
    Count();
    return inner_.GetFileAttributesExW(path, data);
  }
  BOOL SetFileAttributesW(std::u16string_view path, DWORD attributes) override {
    Count();
    return inner_.SetFileAttributesW(path, attributes);
  }
  BOOL PathFileExistsW(std::u16string_view path) override {
    Count();
    return inner_.PathFileExistsW(path);
  }
  BOOL CreateDirectoryW(std::u16string_view path) override {
    Count();
    return inner_.CreateDirectoryW(path);
  }
  int SHCreateDirectoryExW(std::u16string_view path) override {
    Count();
    return inner_.SHCreateDirectoryExW(path);
  }
  BOOL RemoveDirectoryW(std::u16string_view path) override {
    Count();
    return inner_.RemoveDirectoryW(path);
  }
  BOOL DeleteFileW(std::u16string_view path) override {
    Count();
    return inner_.DeleteFileW(path);
  }
  BOOL MoveFileExW(std::u16string_view existing, std::u16string_view newName,
                   DWORD flags) override {
    Count();
    return inner_.MoveFileExW(existing, newName, flags);
  }
  BOOL CopyFileW(std::u16string_view existing, std::u16string_view newName,
                 BOOL failIfExists) override {
    Count();
    return inner_.CopyFileW(existing, newName, failIfExists);
  }
  HANDLE CreateFileW(std::u16string_view path, DWORD access, DWORD shareMode,
                     DWORD creationDisposition, DWORD flagsAndAttributes) override {
    Count();
    return inner_.CreateFileW(path, access, shareMode, creationDisposition, flagsAndAttributes);
  }
  BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) override {
    Count();
    return inner_.ReadFile(file, buffer, toRead, read);
  }
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) override {
    Count();
    return inner_.WriteFile(file, buffer, toWrite, written);
  }
  BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::uint64_t* newPosition,
                        DWORD moveMethod) override {
    Count();
    return inner_.SetFilePointerEx(file, distance, newPosition, moveMethod);
  }
  BOOL SetEndOfFile(HANDLE file) override {
    Count();
    return inner_.SetEndOfFile(file);
  }
  BOOL GetFileSizeEx(HANDLE file, std::uint64_t* size) override {
    Count();
    return inner_.GetFileSizeEx(file, size);
  }
  BOOL GetFileTime(HANDLE file, FileTime* creation, FileTime* lastAccess,
                   FileTime* lastWrite) override {
    Count();
    return inner_.GetFileTime(file, creation, lastAccess, lastWrite);
  }
  BOOL FlushFileBuffers(HANDLE file) override {
    Count();
    return inner_.FlushFileBuffers(file);
  }
  BOOL CloseHandle(HANDLE file) override {
    Count();
    return inner_.CloseHandle(file);
  }
  HANDLE FindFirstFileW(std::u16string_view pattern, WIN32_FIND_DATAW* data) override {
    Count();
    return inner_.FindFirstFileW(pattern, data);
  }
  BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) override {
    Count();
    return inner_.FindNextFileW(find, data);
  }
  BOOL FindClose(HANDLE find) override {
    Count();
    return inner_.FindClose(find);
  }
  DWORD GetFullPathNameW(std::u16string_view path, DWORD cch, std::u16string* out) override {
    Count();
    return inner_.GetFullPathNameW(path, cch, out);
  }
  DWORD GetShortPathNameW(std::u16string_view path, DWORD cch, std::u16string* out) override {
    Count();
    return inner_.GetShortPathNameW(path, cch, out);
  }
  DWORD GetCurrentDirectoryW(DWORD cch, std::u16string* out) override {
    Count();
    return inner_.GetCurrentDirectoryW(cch, out);
  }
  BOOL SetCurrentDirectoryW(std::u16string_view path) override {
    Count();
    return inner_.SetCurrentDirectoryW(path);
  }
  DWORD GetTempPathW(DWORD cch, std::u16string* out) override {
    Count();
    return inner_.GetTempPathW(cch, out);
  }
  UINT GetTempFileNameW(std::u16string_view dir, std::u16string_view prefix, UINT unique,
                        std::u16string* out) override {
    Count();
    return inner_.GetTempFileNameW(dir, prefix, unique, out);
  }
  DWORD SearchPathW(std::u16string_view path, std::u16string_view fileName,
                    std::u16string_view extension, DWORD cch, std::u16string* out) override {
    Count();
    return inner_.SearchPathW(path, fileName, extension, cch, out);
  }
  BOOL PathFindOnPathW(std::u16string* path,
                       const std::vector<std::u16string>* otherDirs) override {
    Count();
    return inner_.PathFindOnPathW(path, otherDirs);
  }
  BOOL PathIsNetworkPathW(std::u16string_view path) override {
    Count();
    return inner_.PathIsNetworkPathW(path);
  }
  BOOL PathSearchAndQualifyW(std::u16string_view path, std::u16string* out, UINT cch) override {
    Count();
    return inner_.PathSearchAndQualifyW(path, out, cch);
  }
  DWORD GetLogicalDriveStringsW(DWORD cch, std::u16string* out) override {
    Count();
    return inner_.GetLogicalDriveStringsW(cch, out);
  }
  UINT GetDriveTypeW(std::u16string_view root) override {
    Count();
    return inner_.GetDriveTypeW(root);
  }
  DWORD QueryDosDeviceW(std::u16string_view device, DWORD cch, std::u16string* out) override {
    Count();
    return inner_.QueryDosDeviceW(device, cch, out);
  }
  DWORD ExpandEnvironmentStringsW(std::u16string_view source, DWORD cch,
                                  std::u16string* out) override {
    Count();
    return inner_.ExpandEnvironmentStringsW(source, cch, out);
  }
  DWORD GetEnvironmentVariableW(std::u16string_view name, DWORD cch, std::u16string* out) override {
    Count();
    return inner_.GetEnvironmentVariableW(name, cch, out);
  }
  BOOL SetEnvironmentVariableW(std::u16string_view name, const std::u16string* value) override {
    Count();
    return inner_.SetEnvironmentVariableW(name, value);
  }

 private:
  void Count() {
    ++calls;
    if (onCall) onCall();
  }
  platform::IFileSystem& inner_;
};

// A platform whose file system counts its calls; everything else is the inner one.
class CountingPlatform final : public platform::IPlatform {
 public:
  explicit CountingPlatform(platform::IPlatform& inner) : inner_(inner), files_(inner.Files()) {}
  platform::IRegistry& Registry() override { return inner_.Registry(); }
  platform::IFileSystem& Files() override { return files_; }
  platform::IShell& Shell() override { return inner_.Shell(); }
  platform::ISystem& System() override { return inner_.System(); }
  platform::IProcesses& Processes() override { return inner_.Processes(); }
  std::uint64_t FileCalls() const { return files_.calls.load(); }
  CountingFiles& CountedFiles() { return files_; }

 private:
  platform::IPlatform& inner_;
  CountingFiles files_;
};

}  // namespace bc::test
