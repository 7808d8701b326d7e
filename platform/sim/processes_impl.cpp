// IProcesses of a simulated machine: starting programs, kernel objects and window messages.
#include <mutex>

#include "base/text.h"
#include "platform/path_string.h"
#include "platform/processes.h"
#include "platform/sim/files_internal.h"
#include "platform/sim/files_state.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/processes_impl.h"
#include "platform/sim/processes_objects.h"
#include "platform/sim/processes_programs.h"
#include "platform/sim/processes_state.h"
#include "platform/sim/shell_folders.h"

namespace bc::platform::sim {

std::u16string FirstCommandLineElement(std::u16string_view line) {
  line = TrimView(line);
  if (!line.empty() && line[0] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    return std::u16string(
        line.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
  }
  const std::size_t blank = line.find_first_of(u" \t");
  return std::u16string(line.substr(0, blank));
}

std::optional<std::u16string> FindProgram(SimProcess& process, std::u16string_view program) {
  std::u16string name(program);
  if (name.empty()) return std::nullopt;
  std::u16string found;
  IFileSystem& fs = process.Files();
  if (fs.SearchPathW({}, name, u".exe", 32768, &found) > 0 && !found.empty()) {
    if (fs.GetFileAttributesW(found) & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return found;
  }
  return std::nullopt;
}

std::shared_ptr<ProcessObject> StartProgram(SimProcess& parent, std::u16string_view program,
                                            std::u16string_view commandLine, StartKind kind,
                                            LSTATUS* error) {
  ProgramTable& programs = parent.Machine().Files().Programs();
  const MachineDescriptor& d = parent.Machine().Descriptor();
  const ProcessIdentity& id = parent.Identity();
  std::u16string path;
  bool is64Bit = false;
  if (auto found = FindProgram(parent, program)) {
    path = *found;
    if (d.Is64Bit()) {
      if (auto where = ResolvePath(parent, path)) {
        const std::u16string actual = where->win.ToString();
        is64Bit = !StartsWithNoCase(actual, SystemWow64Directory(d) + u"\\") &&
                  (StartsWithNoCase(actual, SystemDirectory(d) + u"\\") ||
                   EqualsNoCase(actual, d.WindowsDirectory() + u"\\regedit.exe"));
      }
    }
  } else if (programs.IsBound(program)) {
    path = std::u16string(program);  // bound by name; its file need not exist on the machine
  } else {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  bool elevated = id.elevated;
  const bool highest = programs.LevelOf(path) == ExecutionLevel::highestAvailable &&
                       !d.version.IsXp() && id.user.admin && !id.elevated;
  if (kind == StartKind::kRunAs || highest) {
    if (kind == StartKind::kCreateProcess) {
      *error = ERROR_ELEVATION_REQUIRED;
      return nullptr;
    }
    if (d.refuseElevation || !id.user.admin) {
      *error = ERROR_CANCELLED;
      return nullptr;
    }
    elevated = !d.version.IsXp() || id.elevated;
  }
  return programs.Start(path, commandLine, id.user.name, elevated, is64Bit, error);
}

namespace {

class SimProcesses final : public IProcesses {
 public:
  explicit SimProcesses(SimProcess& process)
      : process_(process),
        objects_(process.Machine().Files().Objects()),
        pid_(objects_.NextProcessId()) {}

  ~SimProcesses() override {
    for (HWND w : windows_) objects_.DestroyWindow(w, pid_);
  }

  DWORD GetModuleFileNameW(DWORD cch, std::u16string* out) override {
    if (out) out->clear();
    const std::u16string& path = process_.Identity().programPath;
    if (cch == 0) return 0;
    if (cch <= path.size()) {
      if (out) *out = path.substr(0, cch - 1);
      State().SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return cch;
    }
    if (out) *out = path;
    return static_cast<DWORD>(path.size());
  }

  std::u16string GetCommandLineW() override { return process_.Identity().commandLine; }
  DWORD GetCurrentProcessId() override { return pid_; }

  BOOL CreateProcessW(std::u16string_view applicationName, std::u16string_view commandLine,
                      DWORD /*creationFlags*/, std::u16string_view /*currentDirectory*/,
                      PROCESS_INFORMATION* info) override {
    const std::u16string program = applicationName.empty() ? FirstCommandLineElement(commandLine)
                                                           : std::u16string(applicationName);
    const std::u16string line = commandLine.empty() ? program : std::u16string(commandLine);
    LSTATUS error = 0;
    auto object = StartProgram(process_, program, line, StartKind::kCreateProcess, &error);
    if (!object) return Fail(error);
    if (info) {
      info->hProcess = State().Add(std::make_shared<SharedHandle<WaitableObject>>(object));
      info->hThread = State().Add(std::make_shared<SharedHandle<WaitableObject>>(object));
      info->dwProcessId = object->Pid();
      info->dwThreadId = object->Pid() + 1;
    }
    State().SetLastError(ERROR_SUCCESS);
    return 1;
  }

  BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) override {
    auto h = State().Get<SharedHandle<WaitableObject>>(process);
    auto p = h ? std::dynamic_pointer_cast<ProcessObject>(h->object) : nullptr;
    if (!p) return Fail(ERROR_INVALID_HANDLE);
    *exitCode = p->ExitCode();
    return 1;
  }

  HANDLE CreateMutexW(BOOL initialOwner, std::u16string_view name) override {
    std::shared_ptr<MutexObject> mutex;
    bool existed = false;
    if (name.empty()) {
      mutex = std::make_shared<MutexObject>();
    } else {
      LSTATUS error = 0;
      mutex = objects_.OpenMutex(name, &existed, &error);
      if (!mutex) {
        State().SetLastError(error);
        return 0;
      }
    }
    if (initialOwner && !existed) mutex->WaitAs(&State(), INFINITE);
    const HANDLE h = State().Add(std::make_shared<SharedHandle<WaitableObject>>(mutex));
    State().SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
  }

  BOOL ReleaseMutex(HANDLE mutex) override {
    auto h = State().Get<SharedHandle<WaitableObject>>(mutex);
    auto m = h ? std::dynamic_pointer_cast<MutexObject>(h->object) : nullptr;
    if (!m) return Fail(ERROR_INVALID_HANDLE);
    if (!m->Release(&State())) return Fail(288);  // ERROR_NOT_OWNER
    return 1;
  }

  HANDLE CreateEventW(BOOL manualReset, BOOL initialState, std::u16string_view name) override {
    std::shared_ptr<EventObject> event;
    bool existed = false;
    if (name.empty()) {
      event = std::make_shared<EventObject>(manualReset != 0, initialState != 0);
    } else {
      event = objects_.OpenEvent(name, manualReset != 0, initialState != 0, &existed);
    }
    const HANDLE h = State().Add(std::make_shared<SharedHandle<WaitableObject>>(event));
    State().SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
  }

  BOOL SetEvent(HANDLE event) override {
    auto e = Event(event);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    e->Set();
    return 1;
  }

  BOOL ResetEvent(HANDLE event) override {
    auto e = Event(event);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    e->Reset();
    return 1;
  }

  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override {
    auto h = State().Get<SharedHandle<WaitableObject>>(object);
    if (!h) {
      State().SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (auto m = std::dynamic_pointer_cast<MutexObject>(h->object)) {
      return m->WaitAs(&State(), milliseconds);
    }
    return h->object->Wait(milliseconds);
  }

  BOOL CloseHandle(HANDLE object) override {
    if (!State().Close<SharedHandle<WaitableObject>>(object)) return Fail(ERROR_INVALID_HANDLE);
    return 1;
  }

  HWND RegisterTopLevelWindow(std::u16string_view className, std::u16string_view title) override {
    const HWND w = objects_.RegisterWindow(pid_, className, title);
    if (!w) {
      State().SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    std::lock_guard lock(mutex_);
    windows_.push_back(w);
    return w;
  }

  BOOL DestroyWindow(HWND window) override {
    if (!objects_.DestroyWindow(window, pid_)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
    std::lock_guard lock(mutex_);
    std::erase(windows_, window);
    return 1;
  }

  HWND FindWindowW(std::u16string_view className, std::u16string_view windowName) override {
    const HWND w = objects_.FindWindow(className, windowName);
    if (!w) State().SetLastError(ERROR_FILE_NOT_FOUND);
    return w;
  }

  BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (!objects_.Post(window, MSG{window, message, wParam, lParam})) {
      return Fail(ERROR_INVALID_WINDOW_HANDLE);
    }
    return 1;
  }

  BOOL ShowWindow(HWND window, int showCmd) override {
    return PostMessageW(window, WM_SHOWWINDOW, static_cast<WPARAM>(showCmd), 0);
  }

  BOOL SetForegroundWindow(HWND window) override { return PostMessageW(window, WM_ACTIVATE, 1, 0); }

  BOOL PeekMessageW(MSG* msg) override { return objects_.Peek(pid_, msg) ? 1 : 0; }

 private:
  ProcessState& State() { return StateOf(process_); }
  BOOL Fail(DWORD e) {
    State().SetLastError(e);
    return 0;
  }
  std::shared_ptr<EventObject> Event(HANDLE h) {
    auto s = State().Get<SharedHandle<WaitableObject>>(h);
    return s ? std::dynamic_pointer_cast<EventObject>(s->object) : nullptr;
  }

  SimProcess& process_;
  NamedObjects& objects_;
  DWORD pid_;
  std::mutex mutex_;
  std::vector<HWND> windows_;
};

}  // namespace

std::unique_ptr<IProcesses> MakeSimProcesses(SimProcess& process) {
  return std::make_unique<SimProcesses>(process);
}

}  // namespace bc::platform::sim
