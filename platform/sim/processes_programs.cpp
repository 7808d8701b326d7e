#include "platform/sim/processes_programs.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "platform/path_string.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"

extern char** environ;

namespace bc::platform::sim {

ProgramTable::ProgramTable(SimMachine& machine) : machine_(machine) {}

ProgramTable::~ProgramTable() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(running_);
  }
  for (auto& t : threads) {
    if (t.joinable()) t.join();
  }
}

void ProgramTable::Register(std::u16string_view program, ProgramHandler handler) {
  std::lock_guard lock(mutex_);
  bindings_[std::u16string(program)] = Binding{std::move(handler), {}, {}};
}

void ProgramTable::RegisterHost(std::u16string_view program, std::filesystem::path executable,
                                std::vector<std::string> leadingArgs) {
  std::lock_guard lock(mutex_);
  bindings_[std::u16string(program)] =
      Binding{nullptr, std::move(executable), std::move(leadingArgs)};
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
  const Binding* binding = Find(programPath);
  history_.push_back({std::u16string(programPath), std::u16string(commandLine),
                      process->Identity().user.name, elevated, binding != nullptr});
  if (!binding) {
    object->Finish(0);
    return object;
  }
  if (binding->handler) {
    running_.emplace_back([handler = binding->handler, object, p = std::move(process)]() mutable {
      const DWORD code = handler(*p);
      p.reset();  // the process exits before its handle is signalled
      object->Finish(code);
    });
  } else {
    std::vector<std::string> env = {"BC_SIM_MACHINE=" + machine_.Folder().string(),
                                    "BC_SIM_USER=" + Utf16ToUtf8(process->Identity().user.name),
                                    std::string("BC_SIM_ELEVATED=") + (elevated ? "1" : "0"),
                                    "BC_SIM_PROGRAM=" + Utf16ToUtf8(programPath),
                                    "BC_SIM_COMMANDLINE=" + Utf16ToUtf8(commandLine)};
    process.reset();
    running_.emplace_back([exe = binding->executable, leading = binding->leadingArgs,
                           line = std::u16string(commandLine), env,
                           object] { object->Finish(RunHost(exe, leading, line, env)); });
  }
  return object;
}

void RegisterSystemPrograms(FilesState& files) {
  const std::filesystem::path folder = files.Machine().Folder();
  files.RegisterProgram(u"shutdown.exe", [folder](SimProcess& p) -> std::uint32_t {
    std::ofstream out(folder / "shutdown-request.txt", std::ios::trunc);
    out << Utf16ToUtf8(p.Identity().commandLine) << '\n';
    return out.flush() ? 0 : 1;
  });
}

}  // namespace bc::platform::sim
