#include "platform/sim/processes_objects.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base/text.h"

namespace bc::platform::sim {
namespace {

using nlohmann::json;

// Waits on cv until ready() or the time is up; INFINITE waits for good.
template <class Ready>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, DWORD ms,
             Ready ready) {
  if (ms == INFINITE) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

std::string HexName(std::u16string_view name) {
  const std::string utf8 = Utf16ToUtf8(name);
  std::string hex;
  static const char* digits = "0123456789abcdef";
  for (unsigned char c : utf8) {
    hex.push_back(digits[c >> 4]);
    hex.push_back(digits[c & 15]);
  }
  if (hex.size() > 200) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "h%016zx", std::hash<std::string>{}(utf8));
    hex = buf;
  }
  return hex;
}

bool HostProcessAlive(long pid) {
  if (pid == static_cast<long>(::getpid())) return true;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string WindowFileName(HWND w, const char* ext) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%016" PRIxPTR "%s", w, ext);
  return buf;
}

// Runs fn with the file opened and locked exclusively.
template <class Fn>
bool WithLockedFile(const std::filesystem::path& file, int flags, Fn fn) {
  const int fd = ::open(file.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX) != 0) {
    ::close(fd);
    return false;
  }
  const bool ok = fn(fd);
  ::close(fd);
  return ok;
}

std::string ReadAll(int fd) {
  std::string text;
  char buf[4096];
  ::lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  return text;
}

struct WindowRecord {
  long hostPid = 0;
  std::u16string className, title;
};

std::optional<WindowRecord> ReadWindow(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  try {
    const json j = json::parse(in);
    return WindowRecord{j.at("pid").get<long>(), Utf8ToUtf16(j.at("class").get<std::string>()),
                        Utf8ToUtf16(j.at("title").get<std::string>())};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

// --- Events, mutexes, processes ------------------------------------------------------------------

DWORD EventObject::Wait(DWORD ms) {
  std::unique_lock lock(mutex_);
  if (!WaitFor(cv_, lock, ms, [this] { return signaled_; })) return WAIT_TIMEOUT;
  if (!manualReset_) signaled_ = false;
  return WAIT_OBJECT_0;
}

void EventObject::Set() {
  std::lock_guard lock(mutex_);
  signaled_ = true;
  if (manualReset_) {
    cv_.notify_all();
  } else {
    cv_.notify_one();
  }
}

void EventObject::Reset() {
  std::lock_guard lock(mutex_);
  signaled_ = false;
}

bool EventObject::IsSet() {
  std::lock_guard lock(mutex_);
  return signaled_;
}

MutexObject::~MutexObject() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

DWORD MutexObject::WaitAs(const void* process, DWORD ms) {
  const auto me = std::this_thread::get_id();
  std::unique_lock lock(mutex_);
  const auto mine = [&] { return owner_ == me && ownerProcess_ == process; };
  if (!WaitFor(cv_, lock, ms, [&] { return count_ == 0 || mine(); })) return WAIT_TIMEOUT;
  owner_ = me;
  ownerProcess_ = process;
  ++count_;
  return WAIT_OBJECT_0;
}

bool MutexObject::Release(const void* process) {
  std::lock_guard lock(mutex_);
  if (count_ == 0 || owner_ != std::this_thread::get_id() || ownerProcess_ != process) return false;
  if (--count_ == 0) {
    owner_ = {};
    ownerProcess_ = nullptr;
    cv_.notify_one();
  }
  return true;
}

DWORD ProcessObject::Wait(DWORD ms) {
  std::unique_lock lock(mutex_);
  return WaitFor(cv_, lock, ms, [this] { return done_; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void ProcessObject::Finish(DWORD exitCode) {
  std::lock_guard lock(mutex_);
  done_ = true;
  exitCode_ = exitCode;
  cv_.notify_all();
}

bool ProcessObject::Done() {
  std::lock_guard lock(mutex_);
  return done_;
}

DWORD ProcessObject::ExitCode() {
  std::lock_guard lock(mutex_);
  return exitCode_;
}

// --- Names ---------------------------------------------------------------------------------------

NamedObjects::NamedObjects(std::filesystem::path machineDir) : machineDir_(std::move(machineDir)) {}

NamedObjects::~NamedObjects() {
  std::error_code ec;
  for (const auto& [w, owner] : ownWindows_) {
    std::filesystem::remove(WindowsDir() / WindowFileName(w, ".window"), ec);
    std::filesystem::remove(WindowsDir() / WindowFileName(w, ".queue"), ec);
  }
}

DWORD NamedObjects::NextProcessId() {
  std::lock_guard lock(mutex_);
  const DWORD pid = nextPid_;
  nextPid_ += 4;
  return pid;
}

std::shared_ptr<MutexObject> NamedObjects::OpenMutex(std::u16string_view name, bool* existed,
                                                     LSTATUS* error) {
  std::lock_guard lock(mutex_);
  const std::u16string key(name);
  if (auto it = mutexes_.find(key); it != mutexes_.end()) {
    if (auto alive = it->second.lock()) {
      *existed = true;
      return alive;
    }
  }
  // The name is shared with other host processes through a lock file: whoever holds it shared
  // keeps the mutex in existence; an exclusive lock that succeeds means nobody does.
  const auto dir = machineDir_ / ".sim" / "mutexes";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const auto file = dir / (HexName(name) + ".lock");
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    *existed = false;
    ::flock(fd, LOCK_SH);
  } else {
    *existed = true;
    ::flock(fd, LOCK_SH);
  }
  auto object = std::make_shared<MutexObject>(fd);
  mutexes_[key] = object;
  return object;
}

std::shared_ptr<EventObject> NamedObjects::OpenEvent(std::u16string_view name, bool manualReset,
                                                     bool initial, bool* existed) {
  std::lock_guard lock(mutex_);
  const std::u16string key(name);
  if (auto it = events_.find(key); it != events_.end()) {
    if (auto alive = it->second.lock()) {
      *existed = true;
      return alive;
    }
  }
  *existed = false;
  auto object = std::make_shared<EventObject>(manualReset, initial);
  events_[key] = object;
  return object;
}

// --- Windows and messages ------------------------------------------------------------------------

std::filesystem::path NamedObjects::WindowsDir() const {
  return machineDir_ / ".sim" / "windows";
}

HWND NamedObjects::RegisterWindow(DWORD owner, std::u16string_view className,
                                  std::u16string_view title) {
  std::lock_guard lock(mutex_);
  std::error_code ec;
  std::filesystem::create_directories(WindowsDir(), ec);
  const HWND w = (static_cast<HWND>(::getpid()) << 24) | (nextWindow_++ & 0xFFFFFF);
  const json j = {{"pid", static_cast<long>(::getpid())},
                  {"class", Utf16ToUtf8(className)},
                  {"title", Utf16ToUtf8(title)}};
  const auto tmp = WindowsDir() / WindowFileName(w, ".tmp");
  {
    std::ofstream out(tmp);
    out << j.dump();
    if (!out.flush()) return 0;
  }
  std::filesystem::rename(tmp, WindowsDir() / WindowFileName(w, ".window"), ec);
  if (ec) return 0;
  ownWindows_[w] = owner;
  return w;
}

bool NamedObjects::DestroyWindow(HWND window, DWORD owner) {
  std::lock_guard lock(mutex_);
  auto it = ownWindows_.find(window);
  if (it == ownWindows_.end() || it->second != owner) return false;
  ownWindows_.erase(it);
  std::error_code ec;
  std::filesystem::remove(WindowsDir() / WindowFileName(window, ".window"), ec);
  std::filesystem::remove(WindowsDir() / WindowFileName(window, ".queue"), ec);
  return true;
}

HWND NamedObjects::FindWindow(std::u16string_view className, std::u16string_view title) {
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(WindowsDir(), ec)) {
    if (e.path().extension() == ".window") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    auto rec = ReadWindow(file);
    if (!rec) continue;
    if (!HostProcessAlive(rec->hostPid)) {
      // Left behind by a host process that ended without closing its windows.
      std::filesystem::remove(file, ec);
      std::filesystem::path queue = file;
      std::filesystem::remove(queue.replace_extension(".queue"), ec);
      continue;
    }
    if ((className.empty() || EqualsNoCase(rec->className, className)) &&
        (title.empty() || EqualsNoCase(rec->title, title))) {
      return static_cast<HWND>(std::stoull(file.stem().string(), nullptr, 16));
    }
  }
  return 0;
}

bool NamedObjects::Post(HWND window, const MSG& msg) {
  const auto file = WindowsDir() / WindowFileName(window, ".window");
  auto rec = ReadWindow(file);
  if (!rec || !HostProcessAlive(rec->hostPid)) return false;
  char line[96];
  std::snprintf(line, sizeof line, "%u %" PRIuPTR " %" PRIdPTR "\n", msg.message, msg.wParam,
                msg.lParam);
  return WithLockedFile(WindowsDir() / WindowFileName(window, ".queue"),
                        O_WRONLY | O_CREAT | O_APPEND, [&](int fd) {
                          const std::size_t n = std::strlen(line);
                          return ::write(fd, line, n) == static_cast<ssize_t>(n);
                        });
}

bool NamedObjects::Peek(DWORD owner, MSG* msg) {
  std::vector<HWND> mine;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [w, o] : ownWindows_) {
      if (o == owner) mine.push_back(w);
    }
  }
  for (HWND w : mine) {
    const auto queue = WindowsDir() / WindowFileName(w, ".queue");
    if (!std::filesystem::exists(queue)) continue;
    bool got = false;
    WithLockedFile(queue, O_RDWR, [&](int fd) {
      const std::string text = ReadAll(fd);
      const std::size_t eol = text.find('\n');
      if (eol == std::string::npos) return true;
      std::istringstream first(text.substr(0, eol));
      unsigned message = 0;
      std::uintptr_t wParam = 0;
      std::intptr_t lParam = 0;
      first >> message >> wParam >> lParam;
      const std::string rest = text.substr(eol + 1);
      if (::ftruncate(fd, 0) != 0) return false;
      ::lseek(fd, 0, SEEK_SET);
      if (!rest.empty() && ::write(fd, rest.data(), rest.size()) < 0) return false;
      *msg = MSG{w, message, wParam, lParam};
      got = true;
      return true;
    });
    if (got) return true;
  }
  return false;
}

}  // namespace bc::platform::sim
