// Kernel objects of a simulated machine: mutexes, events and process handles that threads can
// wait on, the names that make mutexes and events shared, and the top-level windows that
// processes (also in other host processes) find and post messages to.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/processes.h"
#include "platform/sim/processes_state.h"

namespace bc::platform::sim {

// A handle object a thread can wait on.
class WaitableObject : public HandleObject {
 public:
  // WAIT_OBJECT_0 or WAIT_TIMEOUT.
  virtual DWORD Wait(DWORD milliseconds) = 0;
};

class EventObject final : public WaitableObject {
 public:
  EventObject(bool manualReset, bool signaled) : manualReset_(manualReset), signaled_(signaled) {}
  DWORD Wait(DWORD milliseconds) override;
  void Set();
  void Reset();
  bool IsSet();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool manualReset_;
  bool signaled_;
};

class MutexObject final : public WaitableObject {
 public:
  explicit MutexObject(int lockFd = -1) : lockFd_(lockFd) {}
  ~MutexObject() override;
  // Acquires for the calling thread of a process (recursively); processes are told apart by
  // their key, since two processes of one host process may share a host thread.
  DWORD Wait(DWORD milliseconds) override { return WaitAs(nullptr, milliseconds); }
  DWORD WaitAs(const void* process, DWORD milliseconds);
  bool Release(const void* process);  // false when that thread does not own it

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  const void* ownerProcess_ = nullptr;
  std::thread::id owner_;
  int count_ = 0;
  int lockFd_;  // holds the machine-wide name (flock) while any handle is open
};

// A started program: signalled when it ends.
class ProcessObject final : public WaitableObject {
 public:
  explicit ProcessObject(DWORD pid) : pid_(pid) {}
  DWORD Wait(DWORD milliseconds) override;
  void Finish(DWORD exitCode);
  DWORD ExitCode();  // STILL_ACTIVE while running
  bool Done();
  DWORD Pid() const { return pid_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
  DWORD pid_;
};

// A handle to a shared object: several handles (and processes) share one object.
template <class T>
class SharedHandle final : public HandleObject {
 public:
  explicit SharedHandle(std::shared_ptr<T> object) : object(std::move(object)) {}
  std::shared_ptr<T> object;
};

class NamedObjects {
 public:
  explicit NamedObjects(std::filesystem::path machineDir);
  ~NamedObjects();

  DWORD NextProcessId();

  // The mutex of that name, made when no process of the machine (in any host process) has it
  // open; *existed tells which. nullptr with *error when the lock file cannot be made.
  std::shared_ptr<MutexObject> OpenMutex(std::u16string_view name, bool* existed, LSTATUS* error);
  std::shared_ptr<EventObject> OpenEvent(std::u16string_view name, bool manualReset, bool initial,
                                         bool* existed);

  // Top-level windows, recorded in the machine folder so other host processes find them. owner
  // identifies the process of this host process that owns the window.
  HWND RegisterWindow(DWORD owner, std::u16string_view className, std::u16string_view title);
  bool DestroyWindow(HWND window, DWORD owner);
  HWND FindWindow(std::u16string_view className, std::u16string_view title);
  bool Post(HWND window, const MSG& msg);
  // The oldest message posted to a window of owner.
  bool Peek(DWORD owner, MSG* msg);

 private:
  std::filesystem::path WindowsDir() const;
  std::filesystem::path machineDir_;
  std::mutex mutex_;
  DWORD nextPid_ = 1000;
  std::map<std::u16string, std::weak_ptr<MutexObject>> mutexes_;
  std::map<std::u16string, std::weak_ptr<EventObject>> events_;
  std::map<HWND, DWORD> ownWindows_;  // windows of this host process -> owner
  std::uint32_t nextWindow_ = 1;
};

}  // namespace bc::platform::sim
