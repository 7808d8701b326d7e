#include "platform/sim/registry_layout.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "base/text.h"

namespace bc::platform::sim {
namespace {

std::u16string SystemDirectory(const MachineDescriptor& d) {
  return d.WindowsDirectory() + (d.version.IsXp() ? u"\\system32" : u"\\System32");
}

std::u16string ProgramFiles(bool x86Branch, const MachineDescriptor& d) {
  return (x86Branch && d.Is64Bit()) ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
}

std::u16string Num(unsigned v) {
  return Ascii(std::to_string(v));
}

void FillSystem(const MachineDescriptor& d, HiveKey& root) {
  HiveKey& select = root.Subkey(u"Select");
  select.SetDword(u"Current", 1);
  select.SetDword(u"Default", 1);
  select.SetDword(u"Failed", 0);
  select.SetDword(u"LastKnownGood", 1);

  HiveKey& cs = root.Subkey(kCurrentControlSet);
  HiveKey& control = cs.Subkey(u"Control");
  control.Path(u"ComputerName\\ComputerName").SetString(u"ComputerName", d.computerName);
  control.Path(u"ComputerName\\ActiveComputerName").SetString(u"ComputerName", d.computerName);
  HiveKey& sm = control.Subkey(u"Session Manager");
  sm.SetMultiString(u"BootExecute", {u"autocheck autochk *"});
  sm.SetMultiString(u"ObjectDirectories", {u"\\Windows", u"\\RPC Control"});
  sm.SetDword(u"ProtectionMode", 1);
  HiveKey& env = sm.Subkey(u"Environment");
  env.SetString(u"ComSpec", u"%SystemRoot%\\system32\\cmd.exe", REG_EXPAND_SZ);
  env.SetString(u"Path", u"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem",
                REG_EXPAND_SZ);
  env.SetString(u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC");
  env.SetString(u"OS", u"Windows_NT");
  env.SetString(u"PROCESSOR_ARCHITECTURE", d.Is64Bit() ? u"AMD64" : u"x86");
  env.SetString(u"NUMBER_OF_PROCESSORS", u"2");
  env.SetString(u"TEMP", u"%SystemRoot%\\TEMP", REG_EXPAND_SZ);
  env.SetString(u"TMP", u"%SystemRoot%\\TEMP", REG_EXPAND_SZ);
  env.SetString(u"windir", u"%SystemRoot%", REG_EXPAND_SZ);
  HiveKey& known = sm.Subkey(u"KnownDLLs");
  for (const char16_t* dll :
       {u"kernel32", u"user32", u"gdi32", u"ole32", u"shell32", u"advapi32"}) {
    known.SetString(dll, std::u16string(dll) + u".dll");
  }
  known.SetString(u"DllDirectory", u"%SystemRoot%\\system32", REG_EXPAND_SZ);
  sm.Subkey(u"Memory Management").SetDword(u"ClearPageFileAtShutdown", 0);
  HiveKey& win = control.Subkey(u"Windows");
  win.SetDword(u"CSDVersion", static_cast<DWORD>(d.version.servicePackMajor) << 8);
  win.SetString(u"SystemDirectory", u"%SystemRoot%\\system32", REG_EXPAND_SZ);
  control.Subkey(u"ProductOptions").SetString(u"ProductType", u"WinNT");
  control.Path(u"Hardware Profiles\\Current\\Software");
  control.Path(u"Hardware Profiles\\Current\\System");
  control.Path(u"Nls\\Language").SetString(u"Default", u"0409");
  HiveKey& tz = control.Subkey(u"TimeZoneInformation");
  tz.SetDword(u"Bias", static_cast<DWORD>(-d.utcOffsetMinutes));
  tz.SetString(u"StandardName", u"Coordinated Universal Time");
  control.Path(u"BackupRestore\\FilesNotToBackup");

  HiveKey& services = cs.Subkey(u"Services");
  services.Path(u"EventLog\\Application")
      .SetString(u"File", u"%SystemRoot%\\System32\\Winevt\\Logs\\Application.evtx", REG_EXPAND_SZ);
  HiveKey& tcpip = services.Path(u"Tcpip\\Parameters");
  tcpip.SetString(u"Hostname", d.computerName);
  HiveKey& sched = services.Subkey(u"Schedule");
  sched.SetDword(u"Start", 2);
  sched.SetString(u"ImagePath", u"%systemroot%\\system32\\svchost.exe -k netsvcs", REG_EXPAND_SZ);
  cs.Subkey(u"Enum");
  root.Subkey(u"MountedDevices");
  HiveKey& setup = root.Subkey(u"Setup");
  setup.SetDword(u"SystemSetupInProgress", 0);
  setup.SetString(u"SystemPartition", u"\\Device\\HarddiskVolume1");
}

// The parts of HKLM\SOFTWARE that exist in both views; x86Branch fills Wow6432Node.
void FillSoftwareBranch(const MachineDescriptor& d, HiveKey& sw, bool x86Branch) {
  const bool xp = d.version.IsXp();
  const std::u16string pf = ProgramFiles(x86Branch, d);
  HiveKey& cv = sw.Path(u"Microsoft\\Windows\\CurrentVersion");
  cv.SetString(u"ProgramFilesDir", pf);
  cv.SetString(u"CommonFilesDir", pf + u"\\Common Files");
  if (d.Is64Bit() && !x86Branch) {
    cv.SetString(u"ProgramFilesDir (x86)", u"C:\\Program Files (x86)");
    cv.SetString(u"CommonFilesDir (x86)", u"C:\\Program Files (x86)\\Common Files");
  }
  if (d.Is64Bit()) {
    cv.SetString(u"ProgramW6432Dir", u"C:\\Program Files");
    cv.SetString(u"CommonW6432Dir", u"C:\\Program Files\\Common Files");
  }
  cv.SetString(u"DevicePath", u"%SystemRoot%\\inf", REG_EXPAND_SZ);
  cv.SetString(u"MediaPathUnexpanded", u"%SystemRoot%\\Media", REG_EXPAND_SZ);
  cv.SetString(u"ProgramFilesPath", u"%ProgramFiles%", REG_EXPAND_SZ);

  HiveKey& appPaths = cv.Subkey(u"App Paths");
  HiveKey& ie = appPaths.Subkey(u"IEXPLORE.EXE");
  ie.SetString(u"", pf + u"\\Internet Explorer\\IEXPLORE.EXE");
  ie.SetString(u"Path", pf + u"\\Internet Explorer;");
  appPaths.Subkey(u"wordpad.exe")
      .SetString(u"", u"%ProgramFiles%\\Windows NT\\Accessories\\WORDPAD.EXE", REG_EXPAND_SZ);

  HiveKey& explorer = cv.Subkey(u"Explorer");
  HiveKey& shell = explorer.Subkey(u"Shell Folders");
  HiveKey& user = explorer.Subkey(u"User Shell Folders");
  if (xp) {
    const std::u16string all = u"C:\\Documents and Settings\\All Users";
    shell.SetString(u"Common AppData", all + u"\\Application Data");
    shell.SetString(u"Common Desktop", all + u"\\Desktop");
    shell.SetString(u"Common Documents", all + u"\\Documents");
    shell.SetString(u"Common Programs", all + u"\\Start Menu\\Programs");
    shell.SetString(u"Common Start Menu", all + u"\\Start Menu");
    shell.SetString(u"Common Startup", all + u"\\Start Menu\\Programs\\Startup");
    user.SetString(u"Common AppData", u"%ALLUSERSPROFILE%\\Application Data", REG_EXPAND_SZ);
    user.SetString(u"Common Desktop", u"%ALLUSERSPROFILE%\\Desktop", REG_EXPAND_SZ);
    user.SetString(u"Common Programs", u"%ALLUSERSPROFILE%\\Start Menu\\Programs", REG_EXPAND_SZ);
    user.SetString(u"Common Start Menu", u"%ALLUSERSPROFILE%\\Start Menu", REG_EXPAND_SZ);
    user.SetString(u"Common Startup", u"%ALLUSERSPROFILE%\\Start Menu\\Programs\\Startup",
                   REG_EXPAND_SZ);
  } else {
    const std::u16string sm = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
    shell.SetString(u"Common AppData", u"C:\\ProgramData");
    shell.SetString(u"Common Desktop", u"C:\\Users\\Public\\Desktop");
    shell.SetString(u"Common Documents", u"C:\\Users\\Public\\Documents");
    shell.SetString(u"Common Programs", sm + u"\\Programs");
    shell.SetString(u"Common Start Menu", sm);
    shell.SetString(u"Common Startup", sm + u"\\Programs\\Startup");
    user.SetString(u"Common AppData", u"%ProgramData%", REG_EXPAND_SZ);
    user.SetString(u"Common Desktop", u"%PUBLIC%\\Desktop", REG_EXPAND_SZ);
    user.SetString(u"Common Programs", u"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs",
                   REG_EXPAND_SZ);
    user.SetString(u"Common Start Menu", u"%ProgramData%\\Microsoft\\Windows\\Start Menu",
                   REG_EXPAND_SZ);
    user.SetString(u"Common Startup",
                   u"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
                   REG_EXPAND_SZ);
  }
  explorer.Subkey(u"Advanced");
  explorer.Subkey(u"Browser Helper Objects");
  explorer.Subkey(u"ShellExecuteHooks");
  explorer.Subkey(u"SharedTaskScheduler");
  cv.Subkey(u"Run");
  cv.Subkey(u"RunOnce");
  cv.Subkey(u"Uninstall");
  cv.Subkey(u"SharedDLLs");
  cv.Path(u"Internet Settings");
  sw.Path(u"Microsoft\\Windows\\Help");
  sw.Path(u"Microsoft\\Windows\\HTML Help");

  HiveKey& nt = sw.Path(u"Microsoft\\Windows NT\\CurrentVersion");
  const std::u16string ver = Num(d.version.major) + u"." + Num(d.version.minor);
  nt.SetString(u"ProductName", xp                     ? u"Microsoft Windows XP"
                               : d.version.minor == 0 ? u"Windows Vista (TM) Ultimate"
                                                      : u"Windows 7 Ultimate");
  nt.SetString(u"CurrentVersion", ver);
  nt.SetString(u"CurrentBuildNumber", Num(d.version.build));
  nt.SetString(u"CurrentBuild", Num(d.version.build));
  nt.SetString(u"CSDVersion", d.version.servicePack);
  nt.SetString(u"SystemRoot", d.WindowsDirectory());
  nt.SetString(u"PathName", d.WindowsDirectory());
  nt.SetString(u"SoftwareType", u"System");
  nt.SetString(u"CurrentType", u"Multiprocessor Free");
  nt.SetString(u"RegisteredOwner", d.currentUser);
  nt.SetString(u"RegisteredOrganization", u"");
  HiveKey& winlogon = nt.Subkey(u"Winlogon");
  winlogon.SetString(u"Shell", u"explorer.exe");
  winlogon.SetString(u"Userinit", SystemDirectory(d) + u"\\userinit.exe,");
  winlogon.SetString(u"DefaultUserName", d.currentUser);
  HiveKey& windows = nt.Subkey(u"Windows");
  windows.SetString(u"AppInit_DLLs", u"");
  windows.SetDword(u"LoadAppInit_DLLs", 0);
  nt.Subkey(u"AeDebug");
  sw.Path(u"Microsoft\\Internet Explorer")
      .SetString(u"Version", xp ? u"6.0.2900.5512" : u"8.0.7601.17514");
}

void FillClassesBranch(const MachineDescriptor& d, HiveKey& classes, bool x86Branch) {
  const bool xp = d.version.IsXp();
  const std::u16string shell32 = u"%SystemRoot%\\system32\\shell32.dll";
  auto clsid = [&](std::u16string_view id, std::u16string_view name, std::u16string_view server,
                   std::u16string_view threading) {
    HiveKey& k = classes.Path(u"CLSID").Subkey(id);
    k.SetString(u"", name);
    HiveKey& inproc = k.Subkey(u"InProcServer32");
    inproc.SetString(u"", server, REG_EXPAND_SZ);
    inproc.SetString(u"ThreadingModel", threading);
  };
  clsid(u"{20D04FE0-3AEA-1069-A2D8-08002B30309D}", xp ? u"My Computer" : u"Computer", shell32,
        u"Apartment");
  clsid(u"{645FF040-5081-101B-9F08-00AA002F954E}", u"Recycle Bin", shell32, u"Apartment");
  clsid(u"{00021401-0000-0000-C000-000000000046}", u"Shortcut", shell32, u"Both");
  clsid(u"{871C5380-42A0-1069-A2EA-08002B30309D}", u"Internet Explorer",
        xp ? u"%SystemRoot%\\system32\\shdocvw.dll" : u"%SystemRoot%\\system32\\ieframe.dll",
        u"Apartment");
  HiveKey& iface = classes.Path(u"Interface");
  iface.Subkey(u"{00000000-0000-0000-C000-000000000046}").SetString(u"", u"IUnknown");
  HiveKey& disp = iface.Subkey(u"{00020400-0000-0000-C000-000000000046}");
  disp.SetString(u"", u"IDispatch");
  disp.Subkey(u"ProxyStubClsid32").SetString(u"", u"{00020420-0000-0000-C000-000000000046}");
  // The automation proxy that IDispatch names, in the view's own system folder.
  const std::u16string proxyDir =
      x86Branch ? d.WindowsDirectory() + u"\\SysWOW64" : SystemDirectory(d);
  clsid(u"{00020420-0000-0000-C000-000000000046}", u"PSDispatch", proxyDir + u"\\oleaut32.dll",
        u"Both");
  if (x86Branch) return;

  HiveKey& tlb = classes.Path(u"TypeLib\\{00020430-0000-0000-C000-000000000046}\\2.0");
  tlb.SetString(u"", u"OLE Automation");
  tlb.Path(u"0\\win32").SetString(u"", SystemDirectory(d) + u"\\oleaut32.dll");
  if (d.Is64Bit()) tlb.Path(u"0\\win64").SetString(u"", SystemDirectory(d) + u"\\oleaut32.dll");
  tlb.Subkey(u"FLAGS").SetString(u"", u"0");
  tlb.Subkey(u"HELPDIR").SetString(u"", SystemDirectory(d));
  classes.Subkey(u"AppID");

  auto ext = [&](std::u16string_view e, std::u16string_view progId) {
    classes.Subkey(e).SetString(u"", progId);
  };
  ext(u".txt", u"txtfile");
  classes.Subkey(u".txt").SetString(u"Content Type", u"text/plain");
  ext(u".exe", u"exefile");
  ext(u".reg", u"regfile");
  ext(u".htm", u"htmlfile");
  HiveKey& txt = classes.Subkey(u"txtfile");
  txt.SetString(u"", u"Text Document");
  txt.Subkey(u"DefaultIcon")
      .SetString(u"",
                 xp ? u"%SystemRoot%\\system32\\shell32.dll,-152"
                    : u"%SystemRoot%\\system32\\imageres.dll,-102",
                 REG_EXPAND_SZ);
  txt.Path(u"shell\\open\\command")
      .SetString(u"", u"%SystemRoot%\\system32\\NOTEPAD.EXE %1", REG_EXPAND_SZ);
  HiveKey& exe = classes.Subkey(u"exefile");
  exe.SetString(u"", u"Application");
  exe.Path(u"shell\\open\\command").SetString(u"", u"\"%1\" %*");
  HiveKey& reg = classes.Subkey(u"regfile");
  reg.SetString(u"", u"Registration Entries");
  reg.Path(u"shell\\open\\command").SetString(u"", u"regedit.exe \"%1\"", REG_EXPAND_SZ);
  HiveKey& htm = classes.Subkey(u"htmlfile");
  htm.SetString(u"", u"HTML Document");
  htm.Path(u"shell\\open\\command")
      .SetString(u"", u"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome");
}

void FillSoftware(const MachineDescriptor& d, HiveKey& root) {
  FillSoftwareBranch(d, root, false);
  HiveKey& classes = root.Subkey(u"Classes");
  FillClassesBranch(d, classes, false);
  const bool xp = d.version.IsXp();
  HiveKey& nt = root.Path(u"Microsoft\\Windows NT\\CurrentVersion");
  HiveKey& fonts = nt.Subkey(u"Fonts");
  fonts.SetString(u"Arial (TrueType)", u"arial.ttf");
  fonts.SetString(u"Courier New (TrueType)", u"cour.ttf");
  fonts.SetString(u"Times New Roman (TrueType)", u"times.ttf");
  fonts.SetString(u"Tahoma (TrueType)", u"tahoma.ttf");
  fonts.SetString(u"Microsoft Sans Serif (TrueType)", u"micross.ttf");
  if (!xp) fonts.SetString(u"Segoe UI (TrueType)", u"segoeui.ttf");
  nt.Subkey(u"FontSubstitutes").SetString(u"MS Shell Dlg", u"Microsoft Sans Serif");
  nt.Subkey(u"Image File Execution Options");

  HiveKey& profiles = nt.Subkey(u"ProfileList");
  if (xp) {
    profiles.SetString(u"ProfilesDirectory", u"%SystemDrive%\\Documents and Settings",
                       REG_EXPAND_SZ);
    profiles.SetString(u"AllUsersProfile", u"All Users");
    profiles.SetString(u"DefaultUserProfile", u"Default User");
  } else {
    profiles.SetString(u"ProfilesDirectory", u"%SystemDrive%\\Users", REG_EXPAND_SZ);
    profiles.SetString(u"Default", u"%SystemDrive%\\Users\\Default", REG_EXPAND_SZ);
    profiles.SetString(u"ProgramData", u"%SystemDrive%\\ProgramData", REG_EXPAND_SZ);
    profiles.SetString(u"Public", u"%SystemDrive%\\Users\\Public", REG_EXPAND_SZ);
  }
  profiles.Subkey(u"S-1-5-18")
      .SetString(u"ProfileImagePath", u"%systemroot%\\system32\\config\\systemprofile",
                 REG_EXPAND_SZ);
  if (!xp) {
    profiles.Subkey(u"S-1-5-19")
        .SetString(u"ProfileImagePath", u"%systemroot%\\ServiceProfiles\\LocalService",
                   REG_EXPAND_SZ);
    profiles.Subkey(u"S-1-5-20")
        .SetString(u"ProfileImagePath", u"%systemroot%\\ServiceProfiles\\NetworkService",
                   REG_EXPAND_SZ);
  }
  for (const UserAccount& u : d.users) {
    HiveKey& p = profiles.Subkey(u.sid);
    p.SetString(u"ProfileImagePath", u.profile, REG_EXPAND_SZ);
    p.SetDword(u"Flags", 0);
    p.SetDword(u"State", 0);
  }

  HiveKey& clients = root.Path(u"Clients\\StartMenuInternet\\IEXPLORE.EXE");
  clients.SetString(u"", u"Internet Explorer");
  clients.Path(u"shell\\open\\command")
      .SetString(u"", u"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"");
  root.Path(u"Policies\\Microsoft");
  root.Subkey(u"RegisteredApplications");

  if (d.Is64Bit()) {
    HiveKey& wow = root.Subkey(u"Wow6432Node");
    FillSoftwareBranch(d, wow, true);
    FillClassesBranch(d, classes.Subkey(u"Wow6432Node"), true);
  }
}

void FillUser(const MachineDescriptor& d, const HiveLocation&, HiveKey& root) {
  const bool xp = d.version.IsXp();
  HiveKey& sounds = root.Path(u"AppEvents\\Schemes\\Apps\\.Default");
  sounds.SetString(u"", u"Windows");
  const std::u16string media = u"%SystemRoot%\\media\\";
  auto sound = [&](std::u16string_view event, std::u16string_view wav) {
    HiveKey& e = sounds.Subkey(event);
    e.Subkey(u".Current").SetString(u"", media + std::u16string(wav), REG_EXPAND_SZ);
    e.Subkey(u".Default").SetString(u"", media + std::u16string(wav), REG_EXPAND_SZ);
  };
  sound(u".Default", xp ? u"ding.wav" : u"Windows Ding.wav");
  sound(u"SystemAsterisk", xp ? u"Windows XP Error.wav" : u"Windows Error.wav");
  sound(u"SystemExclamation", xp ? u"chord.wav" : u"Windows Notify.wav");
  root.Path(u"AppEvents\\EventLabels\\.Default").SetString(u"", u"Default Beep");
  root.Subkey(u"Console");
  HiveKey& desktop = root.Path(u"Control Panel\\Desktop");
  desktop.SetString(u"Wallpaper", u"");
  desktop.SetString(u"ScreenSaveActive", u"1");
  root.Path(u"Control Panel\\Cursors").SetString(u"", u"");
  root.Path(u"Control Panel\\International").SetString(u"Locale", u"00000409");
  HiveKey& env = root.Subkey(u"Environment");
  const std::u16string temp =
      xp ? u"%USERPROFILE%\\Local Settings\\Temp" : u"%USERPROFILE%\\AppData\\Local\\Temp";
  env.SetString(u"TEMP", temp, REG_EXPAND_SZ);
  env.SetString(u"TMP", temp, REG_EXPAND_SZ);

  HiveKey& cv = root.Path(u"Software\\Microsoft\\Windows\\CurrentVersion");
  HiveKey& explorer = cv.Subkey(u"Explorer");
  explorer.Subkey(u"RecentDocs");
  explorer.Subkey(u"RunMRU");
  explorer.Subkey(u"FileExts");
  explorer.Subkey(u"TypedPaths");
  explorer.Subkey(u"Advanced");
  if (xp) {
    explorer.Path(u"ComDlg32\\OpenSaveMRU");
    explorer.Path(u"ComDlg32\\LastVisitedMRU");
  } else {
    explorer.Path(u"ComDlg32\\OpenSavePidlMRU");
    explorer.Path(u"ComDlg32\\LastVisitedPidlMRU");
  }
  cv.Subkey(u"Run");
  cv.Subkey(u"RunOnce");
  cv.Subkey(u"Internet Settings");
  cv.Path(u"Policies\\Explorer");
  root.Path(u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
  root.Path(u"Software\\Microsoft\\Internet Explorer\\TypedURLs");
  root.Path(u"Software\\Microsoft\\Internet Explorer\\Main")
      .SetString(u"Start Page", u"about:blank");
  root.Path(u"Software\\Policies");
}

void FillUserShellFolders(const MachineDescriptor& d, const UserAccount* user, HiveKey& root) {
  if (!user) return;
  const bool xp = d.version.IsXp();
  HiveKey& explorer = root.Path(u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
  HiveKey& shell = explorer.Subkey(u"Shell Folders");
  HiveKey& expand = explorer.Subkey(u"User Shell Folders");
  const std::u16string& p = user->profile;
  struct Folder {
    const char16_t* name;
    const char16_t* xpPath;  // below the profile
    const char16_t* vistaPath;
  };
  const Folder folders[] = {
      {u"AppData", u"Application Data", u"AppData\\Roaming"},
      {u"Local AppData", u"Local Settings\\Application Data", u"AppData\\Local"},
      {u"Desktop", u"Desktop", u"Desktop"},
      {u"Personal", u"My Documents", u"Documents"},
      {u"Favorites", u"Favorites", u"Favorites"},
      {u"Recent", u"Recent", u"AppData\\Roaming\\Microsoft\\Windows\\Recent"},
      {u"SendTo", u"SendTo", u"AppData\\Roaming\\Microsoft\\Windows\\SendTo"},
      {u"Start Menu", u"Start Menu", u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
      {u"Programs", u"Start Menu\\Programs",
       u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
      {u"Startup", u"Start Menu\\Programs\\Startup",
       u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
      {u"Cache", u"Local Settings\\Temporary Internet Files",
       u"AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files"},
      {u"History", u"Local Settings\\History", u"AppData\\Local\\Microsoft\\Windows\\History"},
  };
  for (const Folder& f : folders) {
    const std::u16string rel = xp ? f.xpPath : f.vistaPath;
    shell.SetString(f.name, p + u"\\" + rel);
    expand.SetString(f.name, u"%USERPROFILE%\\" + rel, REG_EXPAND_SZ);
  }
}

}  // namespace

FileTime MachineFileTime(const MachineDescriptor& d) {
  constexpr std::int64_t kEpochDelta = 11644473600;  // seconds from 1601 to 1970
  if (d.clock) return static_cast<FileTime>((*d.clock + kEpochDelta) * 10000000);
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  return static_cast<FileTime>(ns / 100 + kEpochDelta * 10000000);
}

std::u16string HiveLocation::NativeName() const {
  return (underUsers ? u"\\REGISTRY\\USER\\" : u"\\REGISTRY\\MACHINE\\") + mountName;
}

std::vector<HiveLocation> MachineHiveLocations(const MachineDescriptor& d) {
  const std::u16string config = SystemDirectory(d) + u"\\config\\";
  std::vector<HiveLocation> out = {
      {HiveKind::kSecurity, u"SECURITY", false, config + u"SECURITY", u""},
      {HiveKind::kSoftware, u"SOFTWARE", false, config + u"SOFTWARE", u""},
      {HiveKind::kSystem, u"SYSTEM", false, config + u"SYSTEM", u""},
      {HiveKind::kDefault, u".DEFAULT", true, config + u"DEFAULT", u""},
      {HiveKind::kSam, u"SAM", false, config + u"SAM", u""},
  };
  if (!d.version.IsXp()) {
    out.push_back({HiveKind::kComponents, u"COMPONENTS", false, config + u"COMPONENTS", u""});
  }
  return out;
}

std::vector<HiveLocation> UserHiveLocations(const MachineDescriptor& d, const UserAccount& user) {
  const std::u16string classes =
      d.version.IsXp() ? u"\\Local Settings\\Application Data\\Microsoft\\Windows\\UsrClass.dat"
                       : u"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
  return {
      {HiveKind::kUser, user.sid, true, user.profile + u"\\NTUSER.DAT", user.sid},
      {HiveKind::kClasses, user.sid + u"_Classes", true, user.profile + classes, user.sid},
  };
}

std::unique_ptr<HiveKey> StandardHiveContents(const MachineDescriptor& d,
                                              const HiveLocation& where) {
  auto root = std::make_unique<HiveKey>(u"$$$PROTO.HIV");
  switch (where.kind) {
    case HiveKind::kSystem:
      FillSystem(d, *root);
      break;
    case HiveKind::kSoftware:
      FillSoftware(d, *root);
      break;
    case HiveKind::kSam:
      root->Path(u"SAM\\Domains\\Account\\Users\\Names");
      for (const UserAccount& u : d.users) {
        root->Path(u"SAM\\Domains\\Account\\Users\\Names").Subkey(u.name);
      }
      root->Path(u"SAM\\Domains\\Builtin\\Aliases");
      break;
    case HiveKind::kSecurity:
      root->Path(u"Policy\\Accounts");
      root->Path(u"RXACT");
      break;
    case HiveKind::kDefault:
      root->Path(u"Control Panel\\Desktop").SetString(u"Wallpaper", u"");
      root->Path(u"Control Panel\\International").SetString(u"Locale", u"00000409");
      root->Path(u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
      root->Subkey(u"Environment");
      break;
    case HiveKind::kComponents:
      root->Path(u"CanonicalData\\Catalogs");
      root->Path(u"DerivedData\\Components");
      break;
    case HiveKind::kUser: {
      FillUser(d, where, *root);
      const UserAccount* user = nullptr;
      for (const auto& u : d.users) {
        if (EqualsNoCase(u.sid, where.ownerSid)) user = &u;
      }
      FillUserShellFolders(d, user, *root);
      break;
    }
    case HiveKind::kClasses:
      if (!d.version.IsXp()) root->Path(u"Local Settings\\Software\\Microsoft\\Windows\\Shell");
      break;
  }
  return root;
}

}  // namespace bc::platform::sim
