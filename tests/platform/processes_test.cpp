// Starting programs (elevation with "runas", built-in and unbound programs), kernel objects and
// messages between instances on a simulated machine.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "base/text.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/sim/files_state.h"
#include "platform/sim/processes_programs.h"
#include "platform/system.h"
#include "tests/platform/files_machine.h"

namespace bc::platform::sim {
namespace {

using testing::TestMachine;

// What a started copy of the product saw.
struct Seen {
  std::atomic<int> runs{0};
  bool elevated = false, admin = false;
  std::u16string commandLine, user;
};

void BindProduct(SimMachine& machine, Seen* seen) {
  machine.Files().RegisterProgram(u"BrellumKV.exe", [seen](SimProcess& p) -> std::uint32_t {
    seen->elevated = p.Identity().elevated;
    seen->admin = p.System().IsUserAnAdmin() != 0;
    seen->commandLine = p.Processes().GetCommandLineW();
    seen->user = p.Identity().user.name;
    ++seen->runs;
    return 7;
  });
}

TEST(RunAs, StartsTheProgramElevatedUnlessThePromptIsRefused) {
  const std::u16string exe =
      u"C:\\Program Files (x86)\\Tessaly Works\\Brellum Corvane\\BrellumKV.exe";
  struct Case {
    const char* windows;
    bool admin, refuse;
    HINSTANCE_RESULT expectAbove31;  // 1: started
    bool elevated;
  } cases[] = {
      {"7", true, false, 1, true},   {"vista", true, false, 1, true}, {"7", true, true, 0, false},
      {"7", false, false, 0, false},  // a standard user cannot answer the prompt
      {"xp", true, false, 1, false},  // no elevation on XP; administrators are administrators
  };
  for (const auto& c : cases) {
    TestMachine m(c.windows, Arch::x64, [&](MachineDescriptor& d) {
      d.users[0].admin = c.admin;
      d.refuseElevation = c.refuse;
    });
    Seen seen;
    BindProduct(m.Machine(), &seen);
    auto p = m.Start(false, false, u"", exe);
    EXPECT_FALSE(p->System().IsUserAnAdmin() && !m.Machine().Descriptor().version.IsXp());
    SHELLEXECUTEINFOW info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = u"runas";
    info.lpFile = exe;
    info.lpParameters = u"qelvistascan";
    const BOOL ok = p->Shell().ShellExecuteExW(&info);
    EXPECT_EQ(ok != 0, c.expectAbove31 == 1) << c.windows;
    if (!c.expectAbove31) {
      EXPECT_EQ(info.hInstApp, SE_ERR_ACCESSDENIED) << c.windows;
      EXPECT_EQ(p->System().GetLastError(), ERROR_CANCELLED) << c.windows;
      EXPECT_LE(p->Shell().ShellExecuteW(u"runas", exe, u"qelvistascan", u"", SW_SHOWNORMAL), 32);
      EXPECT_EQ(seen.runs, 0);
      continue;
    }
    EXPECT_GT(info.hInstApp, 32);
    ASSERT_NE(info.hProcess, 0u);
    EXPECT_EQ(p->Processes().WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(p->Processes().GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(p->Processes().CloseHandle(info.hProcess));
    EXPECT_EQ(seen.runs, 1);
    EXPECT_EQ(seen.elevated, c.elevated) << c.windows;
    EXPECT_TRUE(seen.admin) << c.windows;
    EXPECT_EQ(Utf16ToUtf8(seen.commandLine), "\"" + Utf16ToUtf8(exe) + "\" qelvistascan");
    EXPECT_EQ(Utf16ToUtf8(seen.user), "Alice");
  }
}

TEST(StartingPrograms, RunsSystemProgramsAndRecordsEveryStart) {
  TestMachine m("7", Arch::x64);
  auto p = m.Start();
  IProcesses& procs = p->Processes();
  // The registry editor without a bound handler: it exists, runs and ends.
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(procs.CreateProcessW(u"", u"regedit.exe /s \"C:\\Users\\Alice\\x.reg\"",
                                   NORMAL_PRIORITY_CLASS, u"", &pi));
  EXPECT_EQ(procs.WaitForSingleObject(pi.hProcess, 9000), WAIT_OBJECT_0);
  procs.CloseHandle(pi.hProcess);
  procs.CloseHandle(pi.hThread);
  // shutdown.exe leaves its request for the machine's next boot.
  const HINSTANCE_RESULT r = p->Shell().ShellExecuteW(
      u"open", u"shutdown.exe", u"-r -t 60 -c \"Optimizing\"", u"C:\\Windows\\system32", SW_HIDE);
  EXPECT_GT(r, 32);
  // A document opens with its program; a missing program does not start.
  EXPECT_GT(p->Shell().ShellExecuteW(u"open", u"C:\\Windows\\win.ini", u"", u"", SW_SHOW), 32);
  EXPECT_EQ(p->Shell().ShellExecuteW(u"open", u"C:\\nowhere\\x.exe", u"", u"", SW_SHOW),
            SE_ERR_FNF);
  EXPECT_FALSE(procs.CreateProcessW(u"", u"absent.exe", 0, u"", &pi));
  EXPECT_EQ(p->System().GetLastError(), ERROR_FILE_NOT_FOUND);

  const auto history = m.Machine().Files().Programs().History();
  ASSERT_EQ(history.size(), 3u);
  // Found through the (redirected) system folder, as SearchPathW finds it.
  EXPECT_EQ(Utf16ToUtf8(history[0].program), "C:\\Windows\\system32\\regedit.exe");
  EXPECT_EQ(Utf16ToUtf8(history[0].commandLine), "regedit.exe /s \"C:\\Users\\Alice\\x.reg\"");
  EXPECT_FALSE(history[0].bound);
  EXPECT_EQ(Utf16ToUtf8(history[1].program), "C:\\Windows\\system32\\shutdown.exe");
  EXPECT_TRUE(history[1].bound);
  EXPECT_FALSE(history[2].bound);
  // The built-in shutdown has ended (its handle was not kept): wait for it by its record.
  for (int i = 0; i < 200 && !std::filesystem::exists(m.Dir() / "shutdown-request.txt"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream in(m.Dir() / "shutdown-request.txt");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "\"shutdown.exe\" -r -t 60 -c \"Optimizing\"");
}

TEST(SyncObjects, EventsResetAsAskedAndWaitsTimeOut) {
  TestMachine m;
  auto p = m.Start();
  IProcesses& procs = p->Processes();
  const HANDLE manual = procs.CreateEventW(1, 0, u"");
  const HANDLE autoReset = procs.CreateEventW(0, 1, u"");
  EXPECT_EQ(procs.WaitForSingleObject(manual, 10), WAIT_TIMEOUT);
  procs.SetEvent(manual);
  EXPECT_EQ(procs.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(procs.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);  // stays set
  procs.ResetEvent(manual);
  EXPECT_EQ(procs.WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  EXPECT_EQ(procs.WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
  EXPECT_EQ(procs.WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);  // consumed
  // A thread blocked on the event wakes when another sets it.
  std::thread waiter(
      [&] { EXPECT_EQ(procs.WaitForSingleObject(manual, INFINITE), WAIT_OBJECT_0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  procs.SetEvent(manual);
  waiter.join();
  // Named events are one object for every process of the machine.
  auto other = m.Start();
  const HANDLE named = procs.CreateEventW(1, 0, u"Local\\ScanStop");
  EXPECT_EQ(p->System().GetLastError(), ERROR_SUCCESS);
  const HANDLE same = other->Processes().CreateEventW(1, 0, u"Local\\ScanStop");
  EXPECT_EQ(other->System().GetLastError(), ERROR_ALREADY_EXISTS);
  other->Processes().SetEvent(same);
  EXPECT_EQ(procs.WaitForSingleObject(named, 0), WAIT_OBJECT_0);
  for (HANDLE h : {manual, autoReset, named}) EXPECT_TRUE(procs.CloseHandle(h));
  EXPECT_FALSE(procs.SetEvent(manual));
  EXPECT_EQ(p->System().GetLastError(), ERROR_INVALID_HANDLE);
}

constexpr const char16_t* kMutexName = u"Local\\BRELLUM_KV_4E7965C1-F27A-44e1-90D1-46EBDFE07955";

TEST(SingleInstance, AMutexNameIsTakenUntilItsLastHandleCloses) {
  TestMachine m;
  auto first = m.Start();
  auto second = m.Start();
  const HANDLE h1 = first->Processes().CreateMutexW(1, kMutexName);
  ASSERT_NE(h1, 0u);
  EXPECT_EQ(first->System().GetLastError(), ERROR_SUCCESS);
  const HANDLE h2 = second->Processes().CreateMutexW(1, kMutexName);
  ASSERT_NE(h2, 0u);
  EXPECT_EQ(second->System().GetLastError(), ERROR_ALREADY_EXISTS);
  // The second did not get ownership: another thread of it cannot take the mutex.
  EXPECT_EQ(second->Processes().WaitForSingleObject(h2, 10), WAIT_TIMEOUT);
  EXPECT_FALSE(second->Processes().ReleaseMutex(h2));
  EXPECT_TRUE(first->Processes().ReleaseMutex(h1));
  second->Processes().CloseHandle(h2);
  first->Processes().CloseHandle(h1);
  const HANDLE h3 = second->Processes().CreateMutexW(1, kMutexName);
  EXPECT_EQ(second->System().GetLastError(), ERROR_SUCCESS);
  second->Processes().CloseHandle(h3);
}

// A second host process opens the same machine: the running instance's mutex is seen, and the
// message the second instance posts reaches the first.
TEST(SingleInstance, ASecondHostProcessFindsTheFirstAndPostsToIt) {
  TestMachine m;
  auto first = m.Start();
  IProcesses& procs = first->Processes();
  const HANDLE mutex = procs.CreateMutexW(1, kMutexName);
  ASSERT_EQ(first->System().GetLastError(), ERROR_SUCCESS);
  const HWND window = procs.RegisterTopLevelWindow(u"#32770", u"Brellum Corvane");
  ASSERT_NE(window, 0u);

  const auto runSecond = [&](UINT message) {
    const pid_t child = ::fork();
    if (child == 0) {
      std::string error;
      auto machine = SimMachine::Open(m.Dir(), &error);
      if (!machine) ::_exit(10);
      auto second = machine->StartProcess({u"", false, false, u"C:\\x.exe", u"x.exe scan"});
      const HANDLE h = second->Processes().CreateMutexW(1, kMutexName);
      const bool existed = second->System().GetLastError() == ERROR_ALREADY_EXISTS;
      second->Processes().CloseHandle(h);
      int code = existed ? 1 : 2;
      if (existed) {
        const HWND w = second->Processes().FindWindowW(u"#32770", u"Brellum Corvane");
        if (!w || !second->Processes().PostMessageW(w, message, 0, 0)) code = 3;
      }
      second.reset();
      machine.reset();
      ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(runSecond(0x8097), 1);
  MSG msg;
  ASSERT_TRUE(procs.PeekMessageW(&msg));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.message, 0x8097u);
  EXPECT_FALSE(procs.PeekMessageW(&msg));

  // Once the first instance has let go of its mutex and window, a new start is the first again.
  procs.ReleaseMutex(mutex);
  procs.CloseHandle(mutex);
  procs.DestroyWindow(window);
  EXPECT_EQ(runSecond(0x8097), 2);
  EXPECT_EQ(procs.FindWindowW(u"#32770", u"Brellum Corvane"), 0u);
}

}  // namespace
}  // namespace bc::platform::sim
