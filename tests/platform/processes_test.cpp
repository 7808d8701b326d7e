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
#include "platform/registry.h"
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
  // shutdown.exe leaves its request for the machine's next boot.
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(procs.CreateProcessW(u"", u"shutdown.exe -r -t 60 -c \"Optimizing\"",
                                   NORMAL_PRIORITY_CLASS, u"", &pi));
  EXPECT_EQ(procs.WaitForSingleObject(pi.hProcess, 9000), WAIT_OBJECT_0);
  procs.CloseHandle(pi.hProcess);
  procs.CloseHandle(pi.hThread);
  std::ifstream in(m.Dir() / "shutdown-request.txt");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "shutdown.exe -r -t 60 -c \"Optimizing\"");
  // A document opens with its program; a missing program does not start.
  EXPECT_GT(p->Shell().ShellExecuteW(u"open", u"C:\\Windows\\win.ini", u"", u"", SW_SHOW), 32);
  EXPECT_EQ(p->Shell().ShellExecuteW(u"open", u"C:\\nowhere\\x.exe", u"", u"", SW_SHOW),
            SE_ERR_FNF);
  EXPECT_FALSE(procs.CreateProcessW(u"", u"absent.exe", 0, u"", &pi));
  EXPECT_EQ(p->System().GetLastError(), ERROR_FILE_NOT_FOUND);
  // The registry editor asks for the highest level: an administrator's unelevated process cannot
  // create it, and the shell prompts (refused here).
  EXPECT_FALSE(procs.CreateProcessW(u"", u"regedit.exe /s x.reg", 0, u"", &pi));
  EXPECT_EQ(p->System().GetLastError(), ERROR_ELEVATION_REQUIRED);
  m.Machine().MutableDescriptor().refuseElevation = true;
  EXPECT_EQ(p->Shell().ShellExecuteW(u"open", u"regedit.exe", u"/s x.reg", u"", SW_SHOW),
            SE_ERR_ACCESSDENIED);

  const auto history = m.Machine().Files().Programs().History();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(Utf16ToUtf8(history[0].program), "C:\\Windows\\system32\\shutdown.exe");
  EXPECT_TRUE(history[0].bound);
  EXPECT_EQ(Utf16ToUtf8(history[1].program), "C:\\Windows\\win.ini");
  EXPECT_FALSE(history[1].bound);
}

// The registry editor imports and exports through its own process's registry: which editor runs
// (64-bit from the Windows folder, or the 32-bit one that a redirected System32 holds) decides
// the view a file lands in.
TEST(StartingPrograms, TheRegistryEditorImportsAndExportsInItsView) {
  TestMachine m("7", Arch::x64);
  auto p = m.Start(/*elevated=*/true);
  IProcesses& procs = p->Processes();
  const std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"Path\"=\"C:\\\\x.exe\"\r\n";
  ASSERT_TRUE(WriteWholeFile(p->Files(), u"C:\\Users\\Alice\\in.reg", reg));
  const auto run = [&](std::u16string_view line) {
    PROCESS_INFORMATION pi;
    if (!procs.CreateProcessW(u"", line, NORMAL_PRIORITY_CLASS, u"", &pi)) return DWORD{999};
    procs.WaitForSingleObject(pi.hProcess, 9000);
    DWORD code = 0;
    procs.GetExitCodeProcess(pi.hProcess, &code);
    procs.CloseHandle(pi.hProcess);
    procs.CloseHandle(pi.hThread);
    return code;
  };
  const auto readPath = [&](REGSAM view) {
    HKEY key = kNullKey;
    if (p->Registry().RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, KEY_READ | view,
                                    &key) != ERROR_SUCCESS) {
      return std::string("(none)");
    }
    char16_t buf[64] = {};
    DWORD cb = sizeof buf;
    p->Registry().RegQueryValueExW(key, u"Path", nullptr, reinterpret_cast<std::uint8_t*>(buf),
                                   &cb);
    p->Registry().RegCloseKey(key);
    return Utf16ToUtf8(buf);
  };
  // With redirection on, System32's regedit is the 32-bit one: the 32-bit view gets the key.
  EXPECT_EQ(run(u"regedit.exe /s \"C:\\Users\\Alice\\in.reg\""), 0u);
  EXPECT_EQ(readPath(KEY_WOW64_32KEY), "C:\\x.exe");
  EXPECT_EQ(readPath(KEY_WOW64_64KEY), "(none)");
  // With redirection off, the 64-bit editor of the Windows folder runs.
  Wow64RedirectionValue old = nullptr;
  ASSERT_TRUE(p->System().Wow64DisableWow64FsRedirection(&old));
  EXPECT_EQ(run(u"regedit.exe /i /s \"C:\\Users\\Alice\\in.reg\""), 0u);
  p->System().Wow64RevertWow64FsRedirection(old);
  EXPECT_EQ(readPath(KEY_WOW64_64KEY), "C:\\x.exe");
  // Export of one key, as the backups start it.
  SHELLEXECUTEINFOW info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = u"open";
  info.lpFile = u"regedit.exe";
  info.lpParameters = u" /s /e \"C:\\Users\\Alice\\out.reg\" HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor";
  ASSERT_TRUE(p->Shell().ShellExecuteExW(&info));
  EXPECT_EQ(procs.WaitForSingleObject(info.hProcess, 9000), WAIT_OBJECT_0);
  procs.CloseHandle(info.hProcess);
  std::string out;
  ASSERT_TRUE(ReadWholeFile(p->Files(), u"C:\\Users\\Alice\\out.reg", &out));
  const std::u16string text(reinterpret_cast<const char16_t*>(out.data() + 2),
                            (out.size() - 2) / 2);
  EXPECT_NE(text.find(u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]"), std::u16string::npos);
  // A file that is not a registration file fails the import.
  ASSERT_TRUE(WriteWholeFile(p->Files(), u"C:\\Users\\Alice\\bad.reg", "not a registry file"));
  EXPECT_EQ(run(u"regedit.exe /s C:\\Users\\Alice\\bad.reg"), 1u);
}

TEST(StartingPrograms, RunsHostProgramsWithTheMachineInTheirEnvironment) {
  TestMachine m("7", Arch::x64);
  m.Machine().Files().RegisterHostProgram(
      u"hosttool.exe", "/bin/sh",
      {"-c",
       "[ \"$BC_SIM_ELEVATED\" = 1 ] && [ \"$1\" = 'a b' ] && [ \"$BC_SIM_USER\" = Alice ] && "
       "[ -f \"$BC_SIM_MACHINE/machine.json\" ] && exit 3; exit 4",
       "sh"});
  for (bool elevated : {true, false}) {
    auto p = m.Start(elevated);
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(p->Processes().CreateProcessW(u"", u"hosttool.exe \"a b\"", 0, u"", &pi));
    EXPECT_EQ(p->Processes().WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(p->Processes().GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, elevated ? 3u : 4u);
    p->Processes().CloseHandle(pi.hProcess);
    p->Processes().CloseHandle(pi.hThread);
  }
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
