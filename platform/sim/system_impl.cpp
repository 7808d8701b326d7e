// ISystem of a simulated machine: version, user, clock, token and WOW64 facts of one process.
#include <chrono>
#include <mutex>
#include <unordered_set>

#include "base/text.h"
#include "platform/path_string.h"
#include "platform/sim/files_paths.h"
#include "platform/sim/files_state.h"
#include "platform/sim/folders_create.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/processes_state.h"
#include "platform/sim/shell_folders.h"
#include "platform/system.h"

namespace bc::platform::sim {
namespace {

constexpr LSTATUS ERROR_NONE_MAPPED = 1332;

struct PrivilegeName {
  std::u16string_view name;
  DWORD luid;
};
// The well-known LUIDs of Windows.
constexpr PrivilegeName kPrivileges[] = {{u"SeIncreaseQuotaPrivilege", 5},
                                         {u"SeTcbPrivilege", 7},
                                         {u"SeSecurityPrivilege", 8},
                                         {u"SeTakeOwnershipPrivilege", 9},
                                         {u"SeLoadDriverPrivilege", 10},
                                         {u"SeSystemtimePrivilege", 12},
                                         {u"SeBackupPrivilege", 17},
                                         {u"SeRestorePrivilege", 18},
                                         {u"SeShutdownPrivilege", 19},
                                         {u"SeDebugPrivilege", 20},
                                         {u"SeChangeNotifyPrivilege", 23},
                                         {u"SeUndockPrivilege", 25},
                                         {u"SeIncreaseWorkingSetPrivilege", 33},
                                         {u"SeTimeZonePrivilege", 34}};

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t z, int* y, unsigned* m, unsigned* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int>(yy + (*m <= 2));
}

SYSTEMTIME ToSystemTime(std::int64_t ms) {
  const std::int64_t secs = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  const std::int64_t days = secs >= 0 ? secs / 86400 : (secs - 86399) / 86400;
  const std::int64_t rem = secs - days * 86400;
  int y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, &y, &m, &d);
  SYSTEMTIME t;
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  t.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  t.wHour = static_cast<WORD>(rem / 3600);
  t.wMinute = static_cast<WORD>(rem / 60 % 60);
  t.wSecond = static_cast<WORD>(rem % 60);
  t.wMilliseconds = static_cast<WORD>(ms - secs * 1000);
  return t;
}

class SimSystem final : public ISystem {
 public:
  explicit SimSystem(SimProcess& process) : process_(process) {}

  DWORD GetLastError() override { return State().LastError(); }
  void SetLastError(DWORD error) override { State().SetLastError(error); }

  BOOL GetVersionExW(OSVERSIONINFOEXW* info) override {
    const WindowsVersion& v = Descriptor().version;
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion = v.servicePack;
    info->wServicePackMajor = v.servicePackMajor;
    info->wServicePackMinor = 0;
    info->wSuiteMask = 0x100;  // VER_SUITE_SINGLEUSERTS
    info->wProductType = VER_NT_WORKSTATION;
    return 1;
  }

  BOOL GetUserNameW(std::u16string* name, DWORD* cch) override {
    const std::u16string& user = process_.Identity().user.name;
    return Answer(user, cch, name, ERROR_INSUFFICIENT_BUFFER, true);
  }

  BOOL GetUserNameExW(EXTENDED_NAME_FORMAT format, std::u16string* name, DWORD* cch) override {
    if (format != NameSamCompatible) return Fail(ERROR_NONE_MAPPED);
    const std::u16string text = Descriptor().computerName + u"\\" + process_.Identity().user.name;
    return Answer(text, cch, name, ERROR_MORE_DATA, false);
  }

  BOOL GetComputerNameW(std::u16string* name, DWORD* cch) override {
    return Answer(Descriptor().computerName, cch, name, ERROR_BUFFER_OVERFLOW, false);
  }

  DWORD GetTickCount() override {
    const auto elapsed = std::chrono::steady_clock::now() - process_.Machine().Files().OpenedAt();
    // A machine that has been up a while: the count starts at about ten minutes.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() + 600000;
    return static_cast<DWORD>(static_cast<std::uint64_t>(ms) & 0xFFFFFFFFu);
  }

  void GetSystemTime(SYSTEMTIME* time) override { *time = ToSystemTime(NowMs()); }

  void GetLocalTime(SYSTEMTIME* time) override {
    *time = ToSystemTime(NowMs() + std::int64_t{Descriptor().utcOffsetMinutes} * 60000);
  }

  FileTime GetSystemTimeAsFileTime() override {
    constexpr std::int64_t kEpochDiffMs = 11644473600000LL;
    return static_cast<FileTime>((NowMs() + kEpochDiffMs) * 10000);
  }

  BOOL IsUserAnAdmin() override { return State().IsAdministrator() ? 1 : 0; }

  BOOL LookupPrivilegeValueW(std::u16string_view name, LUID* luid) override {
    for (const auto& p : kPrivileges) {
      if (EqualsNoCase(p.name, name)) {
        *luid = LUID{p.luid, 0};
        return 1;
      }
    }
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
  }

  BOOL AdjustTokenPrivileges(LUID privilege, BOOL enable) override {
    for (const auto& p : kPrivileges) {
      if (p.luid == privilege.LowPart && privilege.HighPart == 0) {
        if (!State().EnablePrivilege(p.name, enable != 0)) return Fail(ERROR_PRIVILEGE_NOT_HELD);
        SetLastError(ERROR_SUCCESS);
        return 1;
      }
    }
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
  }

  BOOL IsWow64Process(BOOL* wow64) override {
    *wow64 = process_.Identity().wow64 ? 1 : 0;
    return 1;
  }

  BOOL Wow64DisableWow64FsRedirection(Wow64RedirectionValue* oldValue) override {
    if (!Descriptor().Is64Bit()) return Fail(ERROR_INVALID_FUNCTION);
    const bool wasDisabled = State().SetRedirectionDisabled(true);
    if (oldValue) *oldValue = Marker(wasDisabled);
    return 1;
  }

  BOOL Wow64RevertWow64FsRedirection(Wow64RedirectionValue oldValue) override {
    if (!Descriptor().Is64Bit()) return Fail(ERROR_INVALID_FUNCTION);
    if (oldValue != Marker(true) && oldValue != Marker(false)) return Fail(ERROR_INVALID_PARAMETER);
    State().SetRedirectionDisabled(oldValue == Marker(true));
    return 1;
  }

  UINT GetSystemDirectoryW(std::u16string* out, UINT cch) override {
    return Fill(SystemDirectory(Descriptor()), cch, out);
  }

  UINT GetWindowsDirectoryW(std::u16string* out, UINT cch) override {
    return Fill(Descriptor().WindowsDirectory(), cch, out);
  }

  UINT GetSystemWow64DirectoryW(std::u16string* out, UINT cch) override {
    if (out) out->clear();
    if (!Descriptor().Is64Bit()) {
      SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return 0;
    }
    return Fill(SystemWow64Directory(Descriptor()), cch, out);
  }

  BOOL SfcIsFileProtected(std::u16string_view path) override {
    LSTATUS e = 0;
    auto full = FullPathName(path, State().CurrentDirectory(), &e);
    if (!full) return Fail(ERROR_INVALID_PARAMETER);
    std::call_once(protectedOnce_, [this] { BuildProtectedList(); });
    if (protected_.count(ToUpper(*full))) return 1;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }

 private:
  const MachineDescriptor& Descriptor() { return process_.Machine().Descriptor(); }
  ProcessState& State() { return StateOf(process_); }
  BOOL Fail(DWORD e) {
    SetLastError(e);
    return 0;
  }

  static Wow64RedirectionValue Marker(bool disabled) {
    static char off, on;
    return disabled ? static_cast<void*>(&off) : static_cast<void*>(&on);
  }

  std::int64_t NowMs() {
    if (const auto& clock = Descriptor().clock) return *clock * 1000;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  // Text answers of the name calls: *cch in is the buffer size; the answer counts the NUL when
  // withNul is set (GetUserNameW), else not.
  BOOL Answer(const std::u16string& text, DWORD* cch, std::u16string* out, DWORD tooSmall,
              bool withNul) {
    if (out) out->clear();
    if (!cch) return Fail(ERROR_INVALID_PARAMETER);
    if (*cch <= text.size()) {
      *cch = static_cast<DWORD>(text.size() + 1);
      return Fail(tooSmall);
    }
    if (out) *out = text;
    *cch = static_cast<DWORD>(text.size() + (withNul ? 1 : 0));
    return 1;
  }

  UINT Fill(const std::u16string& text, UINT cch, std::u16string* out) {
    if (out) out->clear();
    if (cch <= text.size()) return static_cast<UINT>(text.size() + 1);
    if (out) *out = text;
    return static_cast<UINT>(text.size());
  }

  void BuildProtectedList() {
    const MachineDescriptor& d = Descriptor();
    std::vector<std::u16string> list =
        d.protectedFiles ? *d.protectedFiles : StandardSystemFiles(d);
    for (auto& entry : list) {
      std::u16string path = entry;
      if (path.find(u'%') != std::u16string::npos) {
        std::u16string expanded;
        if (process_.Files().ExpandEnvironmentStringsW(path, 4096, &expanded) > 0 &&
            !expanded.empty()) {
          path = expanded;
        }
      }
      LSTATUS e = 0;
      if (auto full = FullPathName(path, u"C:\\", &e)) protected_.insert(ToUpper(*full));
    }
  }

  SimProcess& process_;
  std::once_flag protectedOnce_;
  std::unordered_set<std::u16string> protected_;
};

}  // namespace

std::unique_ptr<ISystem> MakeSimSystem(SimProcess& process) {
  return std::make_unique<SimSystem>(process);
}

}  // namespace bc::platform::sim
