// Processes the product starts, named mutexes and events, and messages between instances.
// Failures set the calling thread's last error as files.h describes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/win32_types.h"

namespace bc::platform {

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr LSTATUS ERROR_ELEVATION_REQUIRED = 740;
inline constexpr LSTATUS ERROR_BAD_EXE_FORMAT = 193;
inline constexpr LSTATUS ERROR_INVALID_WINDOW_HANDLE = 1400;

inline constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
inline constexpr DWORD CREATE_NO_WINDOW = 0x08000000;

struct PROCESS_INFORMATION {
  HANDLE hProcess = 0;
  HANDLE hThread = 0;
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};

// Windows and messages between processes of one machine.
using HWND = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

struct MSG {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class IProcesses {
 public:
  virtual ~IProcesses() = default;

  // --- This process ----------------------------------------------------------------------------
  // The program's own path on the machine; length without NUL, or cch when truncated.
  virtual DWORD GetModuleFileNameW(DWORD cch, std::u16string* out) = 0;
  virtual std::u16string GetCommandLineW() = 0;
  virtual DWORD GetCurrentProcessId() = 0;

  // --- Starting programs -----------------------------------------------------------------------
  // Starts the program named by applicationName, or else by the first (possibly quoted) element
  // of commandLine, as this process's user with this process's elevation. Programs are built-in
  // handlers of the machine or host programs bound to a Windows program name; a program file
  // that exists on the machine without either runs and ends at once with exit code 0. FALSE with
  // ERROR_FILE_NOT_FOUND when the program does not exist, and with ERROR_ELEVATION_REQUIRED when
  // an unelevated administrator on Windows 6.x starts a program that asks for the highest level
  // (the registry editor). A program found in SysWOW64 runs as 32-bit, one in System32 or the
  // Windows folder as 64-bit, others (the product's) as 32-bit.
  virtual BOOL CreateProcessW(std::u16string_view applicationName, std::u16string_view commandLine,
                              DWORD creationFlags, std::u16string_view currentDirectory,
                              PROCESS_INFORMATION* info) = 0;
  // Process handles: STILL_ACTIVE until the program ends.
  virtual BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) = 0;

  // --- Synchronisation objects (named ones are shared by every process of the machine, also
  // across host processes) ----------------------------------------------------------------------
  // A name taken by an existing mutex answers its handle with last error ERROR_ALREADY_EXISTS
  // (and initialOwner is ignored); "Local\" and "Global\" prefixes are part of the name space.
  virtual HANDLE CreateMutexW(BOOL initialOwner, std::u16string_view name) = 0;
  virtual BOOL ReleaseMutex(HANDLE mutex) = 0;
  // An event of this machine; named events are shared by the processes of one SimMachine object.
  // A name taken answers the existing event with ERROR_ALREADY_EXISTS.
  virtual HANDLE CreateEventW(BOOL manualReset, BOOL initialState, std::u16string_view name) = 0;
  virtual BOOL SetEvent(HANDLE event) = 0;
  virtual BOOL ResetEvent(HANDLE event) = 0;
  // Events, mutexes and processes. WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED.
  virtual DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) = 0;
  // Closes event, mutex and process handles.
  virtual BOOL CloseHandle(HANDLE object) = 0;

  // --- Top-level windows and posted messages ---------------------------------------------------
  // Makes a top-level window of this process findable by class and title (the UI registers its
  // main window). Zero on failure.
  virtual HWND RegisterTopLevelWindow(std::u16string_view className, std::u16string_view title) = 0;
  virtual BOOL DestroyWindow(HWND window) = 0;
  // A live window of any process of the machine (also in another host process); 0 when none.
  // An empty className or windowName matches any.
  virtual HWND FindWindowW(std::u16string_view className, std::u16string_view windowName) = 0;
  // Queues a message for the window's process. FALSE with ERROR_INVALID_WINDOW_HANDLE when
  // the window is gone.
  virtual BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // ShowWindow / SetForegroundWindow on a window of another process reach its owner as posted
  // WM_SHOWWINDOW (wParam = showCmd) and WM_ACTIVATE (wParam = 1) messages.
  virtual BOOL ShowWindow(HWND window, int showCmd) = 0;
  virtual BOOL SetForegroundWindow(HWND window) = 0;
  // Takes the oldest message posted to this process's windows; FALSE when there is none.
  virtual BOOL PeekMessageW(MSG* msg) = 0;
};

}  // namespace bc::platform
