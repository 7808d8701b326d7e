#include "platform/sim/processes_programs.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "base/regfile.h"
#include "platform/files.h"
#include "platform/path_string.h"
#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_regfile.h"

extern char** environ;

namespace bc::platform::sim {

ProgramTable::ProgramTable(SimMachine& machine) : machine_(machine) {}

ProgramTable::~ProgramTable() {
  std::vector<Run> runs;
  {
    std::lock_guard lock(mutex_);
    runs.swap(running_);
  }
  for (auto& r : runs) {
    if (r.thread.joinable()) r.thread.join();
  }
}

void ProgramTable::Register(std::u16string_view program, ProgramHandler handler,
                            ExecutionLevel level) {
  std::lock_guard lock(mutex_);
  bindings_[std::u16string(program)] = Binding{std::move(handler), level, {}, {}};
}

ExecutionLevel ProgramTable::LevelOf(std::u16string_view programPath) {
  std::lock_guard lock(mutex_);
  const Binding* b = Find(programPath);
  return b ? b->level : ExecutionLevel::asInvoker;
}

void ProgramTable::RegisterHost(std::u16string_view program, std::filesystem::path executable,
                                std::vector<std::string> leadingArgs) {
  std::lock_guard lock(mutex_);
  bindings_[std::u16string(program)] =
      Binding{nullptr, ExecutionLevel::asInvoker, std::move(executable), std::move(leadingArgs)};
}

const ProgramTable::Binding* ProgramTable::Find(std::u16string_view programPath) {
  if (auto it = bindings_.find(std::u16string(programPath)); it != bindings_.end()) {
    return &it->second;
  }
  if (auto it = bindings_.find(std::u16string(PathFindFileNameW(programPath)));
      it != bindings_.end()) {
    return &it->second;
  }
  return nullptr;
}

bool ProgramTable::IsBound(std::u16string_view programPath) {
  std::lock_guard lock(mutex_);
  return Find(programPath) != nullptr;
}

std::vector<ProgramStart> ProgramTable::History() {
  std::lock_guard lock(mutex_);
  return history_;
}

namespace {

// Runs a host executable and answers its exit status (or 1 when it could not start).
DWORD RunHost(const std::filesystem::path& exe, const std::vector<std::string>& leading,
              std::u16string_view commandLine, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> args{exe.string()};
  for (const auto& a : leading) args.push_back(a);
  const auto winArgs = CommandLineToArgvW(commandLine);
  for (std::size_t i = 1; i < winArgs.size(); ++i) args.push_back(Utf16ToUtf8(winArgs[i]));
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    if (std::string_view(*e).starts_with("BC_SIM_")) continue;
    env.emplace_back(*e);
  }
  for (const auto& e : extraEnv) env.push_back(e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return 1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  return WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : 1;
}

}  // namespace

std::shared_ptr<ProcessObject> ProgramTable::Start(std::u16string_view programPath,
                                                   std::u16string_view commandLine,
                                                   std::u16string_view user, bool elevated,
                                                   bool is64Bit, LSTATUS* error) {
  ProcessSpec spec{std::u16string(user), elevated, is64Bit, std::u16string(programPath),
                   std::u16string(commandLine)};
  std::unique_ptr<SimProcess> process = machine_.StartProcess(spec);
  if (!process) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  auto object = std::make_shared<ProcessObject>(process->Processes().GetCurrentProcessId());
  std::lock_guard lock(mutex_);
  // Programs that have ended leave their threads to be joined here.
  for (auto it = running_.begin(); it != running_.end();) {
    if (it->process->Done()) {
      it->thread.join();
      it = running_.erase(it);
    } else {
      ++it;
    }
  }
  const Binding* binding = Find(programPath);
  history_.push_back({std::u16string(programPath), std::u16string(commandLine),
                      process->Identity().user.name, elevated, binding != nullptr});
  if (!binding) {
    object->Finish(0);
    return object;
  }
  if (binding->handler) {
    std::thread t([handler = binding->handler, object, p = std::move(process)]() mutable {
      const DWORD code = handler(*p);
      p.reset();  // the process exits before its handle is signalled
      object->Finish(code);
    });
    running_.push_back({std::move(t), object});
  } else {
    std::vector<std::string> env = {"BC_SIM_MACHINE=" + machine_.Folder().string(),
                                    "BC_SIM_USER=" + Utf16ToUtf8(process->Identity().user.name),
                                    std::string("BC_SIM_ELEVATED=") + (elevated ? "1" : "0"),
                                    "BC_SIM_PROGRAM=" + Utf16ToUtf8(programPath),
                                    "BC_SIM_COMMANDLINE=" + Utf16ToUtf8(commandLine)};
    process.reset();
    std::thread t([exe = binding->executable, leading = binding->leadingArgs,
                   line = std::u16string(commandLine), env,
                   object] { object->Finish(RunHost(exe, leading, line, env)); });
    running_.push_back({std::move(t), object});
  }
  return object;
}

namespace {

// The registry editor's command line: "/s" (silent) and "/i" change nothing here, "/e" exports;
// the first other word is the file, the second the key to export.
std::uint32_t RunRegistryEditor(SimProcess& p) {
  const auto args = CommandLineToArgvW(p.Identity().commandLine);
  bool exportFile = false;
  std::vector<std::u16string> words;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    if (a.size() >= 2 && (a[0] == u'/' || a[0] == u'-')) {
      if (EqualsNoCase(a.substr(1), u"e")) exportFile = true;
      continue;
    }
    words.push_back(a);
  }
  if (words.empty()) return 0;  // the editor's window; nothing to do without a user
  IFileSystem& fs = p.Files();
  IRegistry& reg = p.Registry();
  if (exportFile) {
    RegFileWriter writer;
    const REGSAM view =
        p.Machine().Descriptor().Is64Bit() && p.Identity().is64Bit ? KEY_WOW64_64KEY : 0;
    if (words.size() >= 2) {
      if (!ExportRegKey(reg, words[1], view, writer)) return 1;
    } else {
      ExportRegistry(reg, view, writer);
    }
    const auto bytes = writer.FileBytes();
    return WriteWholeFile(
               fs, words[0],
               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
               ? 0
               : 1;
  }
  std::string bytes;
  if (!ReadWholeFile(fs, words[0], &bytes)) return 1;
  const auto parsed =
      ParseRegFile(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  if (!parsed.ok) return 1;
  std::string firstError;
  return ImportRegOps(reg, parsed.ops, &firstError) == 0 ? 0 : 1;
}

}  // namespace

void RegisterSystemPrograms(FilesState& files) {
  const std::filesystem::path folder = files.Machine().Folder();
  files.RegisterProgram(u"shutdown.exe", [folder](SimProcess& p) -> std::uint32_t {
    std::ofstream out(folder / "shutdown-request.txt", std::ios::trunc);
    out << Utf16ToUtf8(p.Identity().commandLine) << '\n';
    return out.flush() ? 0 : 1;
  });
  files.RegisterProgram(u"regedit.exe", RunRegistryEditor, ExecutionLevel::highestAvailable);
}

}  // namespace bc::platform::sim
