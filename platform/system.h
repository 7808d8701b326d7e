// System facts (kernel32/advapi32/secur32/sfc): version, user, clock, privileges, WOW64, the
// thread's last error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/win32_types.h"

namespace bc::platform {

using WORD = std::uint16_t;

inline constexpr LSTATUS ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr LSTATUS ERROR_NO_SUCH_PRIVILEGE = 1313;

inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
inline constexpr std::uint8_t VER_NT_WORKSTATION = 1;

struct OSVERSIONINFOEXW {
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  std::u16string szCSDVersion;  // "Service Pack 1"
  WORD wServicePackMajor = 0;
  WORD wServicePackMinor = 0;
  WORD wSuiteMask = 0;
  std::uint8_t wProductType = 0;
};

struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;
  WORD wDayOfWeek = 0;
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

// GetUserNameExW formats.
enum EXTENDED_NAME_FORMAT : int { NameSamCompatible = 2 };

// Privilege names as LookupPrivilegeValueW knows them.
inline constexpr std::u16string_view SE_BACKUP_NAME = u"SeBackupPrivilege";
inline constexpr std::u16string_view SE_RESTORE_NAME = u"SeRestorePrivilege";
inline constexpr std::u16string_view SE_SHUTDOWN_NAME = u"SeShutdownPrivilege";
inline constexpr std::u16string_view SE_TCB_NAME = u"SeTcbPrivilege";
inline constexpr std::u16string_view SE_SECURITY_NAME = u"SeSecurityPrivilege";
inline constexpr std::u16string_view SE_INCREASE_QUOTA_NAME = u"SeIncreaseQuotaPrivilege";

struct LUID {
  DWORD LowPart = 0;
  std::int32_t HighPart = 0;
  bool operator==(const LUID&) const = default;
};

// An opaque value handed from Wow64DisableWow64FsRedirection to Wow64RevertWow64FsRedirection.
using Wow64RedirectionValue = void*;

class ISystem {
 public:
  virtual ~ISystem() = default;

  // The calling thread's last error (set by the failing calls of every platform interface).
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;

  // --- Version, user, machine ------------------------------------------------------------------
  virtual BOOL GetVersionExW(OSVERSIONINFOEXW* info) = 0;
  // *cch: in the buffer size, out the length written with NUL (or the size needed, FALSE with
  // ERROR_INSUFFICIENT_BUFFER).
  virtual BOOL GetUserNameW(std::u16string* name, DWORD* cch) = 0;
  // NameSamCompatible: "COMPUTER\user". *cch: in the buffer size, out the length without NUL
  // (or the size needed, FALSE with ERROR_MORE_DATA).
  virtual BOOL GetUserNameExW(EXTENDED_NAME_FORMAT format, std::u16string* name, DWORD* cch) = 0;
  // *cch: in the buffer size, out the length without NUL (or the size needed, FALSE with
  // ERROR_BUFFER_OVERFLOW).
  virtual BOOL GetComputerNameW(std::u16string* name, DWORD* cch) = 0;

  // --- Clock -----------------------------------------------------------------------------------
  // Milliseconds since the machine was opened (wraps at 2^32).
  virtual DWORD GetTickCount() = 0;
  // The machine clock: the descriptor's fixed clock when set, else the host's; local time adds
  // the machine's UTC offset.
  virtual void GetSystemTime(SYSTEMTIME* time) = 0;
  virtual void GetLocalTime(SYSTEMTIME* time) = 0;
  virtual FileTime GetSystemTimeAsFileTime() = 0;

  // --- Token -----------------------------------------------------------------------------------
  // The administrator test: an administrator on Windows XP, an elevated administrator on Windows
  // 6.x (the AccessCheck against Administrators answers the same).
  virtual BOOL IsUserAnAdmin() = 0;
  // FALSE with ERROR_NO_SUCH_PRIVILEGE for an unknown name.
  virtual BOOL LookupPrivilegeValueW(std::u16string_view name, LUID* luid) = 0;
  // Enables (or disables) one privilege of the process token. A privilege the token does not
  // hold answers FALSE with ERROR_PRIVILEGE_NOT_HELD (Windows answers TRUE with
  // ERROR_NOT_ALL_ASSIGNED there; a plain failure keeps callers that test only the BOOL right).
  // Elevated administrators (administrators on XP) hold backup, restore, shutdown, TCB,
  // security and quota; every user holds shutdown.
  virtual BOOL AdjustTokenPrivileges(LUID privilege, BOOL enable) = 0;

  // --- WOW64 and system folders ----------------------------------------------------------------
  // *wow64: a 32-bit process on a 64-bit machine.
  virtual BOOL IsWow64Process(BOOL* wow64) = 0;
  // Per thread. On a machine without WOW64 (x86) FALSE with ERROR_INVALID_FUNCTION.
  virtual BOOL Wow64DisableWow64FsRedirection(Wow64RedirectionValue* oldValue) = 0;
  virtual BOOL Wow64RevertWow64FsRedirection(Wow64RedirectionValue oldValue) = 0;
  // "C:\Windows\system32": length without NUL, or the size needed when cch is too small.
  virtual UINT GetSystemDirectoryW(std::u16string* out, UINT cch) = 0;
  virtual UINT GetWindowsDirectoryW(std::u16string* out, UINT cch) = 0;
  // "C:\Windows\SysWOW64"; on x86 machines 0 with ERROR_CALL_NOT_IMPLEMENTED.
  virtual UINT GetSystemWow64DirectoryW(std::u16string* out, UINT cch) = 0;

  // --- Windows File Protection (sfc.dll) -------------------------------------------------------
  // TRUE when the file is protected: the version's default list or the machine's own list.
  virtual BOOL SfcIsFileProtected(std::u16string_view path) = 0;
};

}  // namespace bc::platform
