#include "platform/sim/files_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "platform/sim/files_cache.h"
#include "platform/sim/files_internal.h"
#include "platform/sim/machine.h"
#include "platform/sim/processes_objects.h"
#include "platform/sim/processes_programs.h"

namespace bc::platform::sim {

FilesState::FilesState(SimMachine& machine)
    : machine_(machine),
      openedAt_(std::chrono::steady_clock::now()),
      cache_(std::make_unique<DirectoryCache>(machine.Folder(), machine.Descriptor())),
      openFiles_(std::make_unique<OpenFiles>()),
      objects_(std::make_unique<NamedObjects>(machine.Folder())),
      programs_(std::make_unique<ProgramTable>(machine)) {
  RegisterSystemPrograms(*this);
}

FilesState::~FilesState() {
  // Programs still running use the machine: they end before anything else goes.
  programs_.reset();
}

std::optional<std::filesystem::path> FilesState::HostPath(std::u16string_view windowsPath) {
  LSTATUS e = 0;
  auto full = FullPathName(windowsPath, u"C:\\", &e);
  if (!full) return std::nullopt;
  auto win = SplitDrivePath(*full, false, &e);
  if (!win) return std::nullopt;
  auto loc = cache_->Locate(*win, &e);
  if (!loc) return std::nullopt;
  return loc->host;
}

void FilesState::ForgetListings() {
  cache_->ForgetAll();
}

void FilesState::RegisterProgram(std::u16string_view program, ProgramHandler handler,
                                 ExecutionLevel level) {
  programs_->Register(program, std::move(handler), level);
}

void FilesState::RegisterHostProgram(std::u16string_view program, std::filesystem::path executable,
                                     std::vector<std::string> leadingArgs) {
  programs_->RegisterHost(program, std::move(executable), std::move(leadingArgs));
}

namespace {

using nlohmann::json;

// Opens and locks the list file; -1 when it cannot.
int LockList(const std::filesystem::path& machineDir) {
  const auto file = machineDir / kPendingRenamesFileName;
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::vector<PendingRename> ReadList(int fd) {
  std::string text;
  char buf[4096];
  ::lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  std::vector<PendingRename> out;
  if (text.empty()) return out;
  try {
    for (const auto& e : json::parse(text)) {
      out.push_back({Utf8ToUtf16(e.at("from").get<std::string>()),
                     Utf8ToUtf16(e.value("to", std::string())), e.value("replace", false)});
    }
  } catch (const std::exception&) {
    // A damaged list is treated as empty rather than applied halfway.
  }
  return out;
}

bool WriteList(int fd, const std::vector<PendingRename>& list) {
  json a = json::array();
  for (const auto& e : list) {
    a.push_back(
        {{"from", Utf16ToUtf8(e.from)}, {"to", Utf16ToUtf8(e.to)}, {"replace", e.replaceExisting}});
  }
  const std::string text = list.empty() ? std::string() : a.dump(2) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return false;
  return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

}  // namespace

std::vector<PendingRename> ReadPendingRenames(const std::filesystem::path& machineDir) {
  if (!std::filesystem::exists(machineDir / kPendingRenamesFileName)) return {};
  const int fd = LockList(machineDir);
  if (fd < 0) return {};
  auto list = ReadList(fd);
  ::close(fd);
  return list;
}

bool AppendPendingRename(const std::filesystem::path& machineDir, const PendingRename& entry,
                         std::string* error) {
  const int fd = LockList(machineDir);
  if (fd < 0) {
    if (error) *error = "cannot open the pending-rename list";
    return false;
  }
  auto list = ReadList(fd);
  list.push_back(entry);
  const bool ok = WriteList(fd, list);
  ::close(fd);
  if (!ok && error) *error = "cannot write the pending-rename list";
  return ok;
}

bool ApplyPendingRenames(SimMachine& machine, std::string* error) {
  const int fd = LockList(machine.Folder());
  if (fd < 0) {
    if (error) *error = "cannot open the pending-rename list";
    return false;
  }
  const auto list = ReadList(fd);
  bool ok = true;
  FilesState& files = machine.Files();
  for (const auto& e : list) {
    auto from = files.HostPath(e.from);
    std::error_code ec;
    if (!from || !std::filesystem::exists(*from, ec)) {
      ok = false;
      if (error) *error = Utf16ToUtf8(e.from) + ": not found";
      continue;
    }
    if (e.to.empty()) {
      std::filesystem::remove(*from, ec);
    } else {
      auto to = files.HostPath(e.to);
      if (!to) {
        ok = false;
        if (error) *error = Utf16ToUtf8(e.to) + ": not on the machine";
        continue;
      }
      if (std::filesystem::exists(*to, ec) && !e.replaceExisting) {
        ok = false;
        if (error) *error = Utf16ToUtf8(e.to) + ": already exists";
        continue;
      }
      std::filesystem::rename(*from, *to, ec);
    }
    if (ec) {
      ok = false;
      if (error) *error = Utf16ToUtf8(e.from) + ": " + ec.message();
    }
    files.ForgetListings();
  }
  WriteList(fd, {});
  ::close(fd);
  return ok;
}

}  // namespace bc::platform::sim
