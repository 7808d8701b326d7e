#include "platform/sim/folders_create.h"

#include <fstream>
#include <set>

#include "base/text.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/sim/files_cache.h"
#include "platform/sim/files_paths.h"
#include "platform/sim/lnk_writer.h"
#include "platform/sim/shell_folders.h"

namespace bc::platform::sim {
namespace {

// System files by folder (relative to the Windows folder), for every version unless marked.
const char* const kSystem32Common[] = {"advapi32.dll",
                                       "comctl32.dll",
                                       "comdlg32.dll",
                                       "crypt32.dll",
                                       "gdi32.dll",
                                       "imm32.dll",
                                       "kernel32.dll",
                                       "mpr.dll",
                                       "msi.dll",
                                       "msvcrt.dll",
                                       "netapi32.dll",
                                       "ntdll.dll",
                                       "ole32.dll",
                                       "oleaut32.dll",
                                       "olepro32.dll",
                                       "rpcrt4.dll",
                                       "secur32.dll",
                                       "setupapi.dll",
                                       "sfc.dll",
                                       "sfc_os.dll",
                                       "shdocvw.dll",
                                       "shell32.dll",
                                       "shlwapi.dll",
                                       "srclient.dll",
                                       "urlmon.dll",
                                       "user32.dll",
                                       "userenv.dll",
                                       "uxtheme.dll",
                                       "version.dll",
                                       "wininet.dll",
                                       "winmm.dll",
                                       "wintrust.dll",
                                       "ws2_32.dll",
                                       "mshtml.dll",
                                       "jscript.dll",
                                       "vbscript.dll",
                                       "scrrun.dll",
                                       "msxml3.dll",
                                       "msxml6.dll",
                                       "quartz.dll",
                                       "wmp.dll",
                                       "mscoree.dll",
                                       "xmllite.dll",
                                       "mstask.dll",
                                       "wshom.ocx",
                                       "hhctrl.ocx",
                                       "cmd.exe",
                                       "calc.exe",
                                       "notepad.exe",
                                       "mspaint.exe",
                                       "rundll32.exe",
                                       "regsvr32.exe",
                                       "regedt32.exe",
                                       "msiexec.exe",
                                       "svchost.exe",
                                       "lsass.exe",
                                       "services.exe",
                                       "csrss.exe",
                                       "smss.exe",
                                       "winlogon.exe",
                                       "userinit.exe",
                                       "taskmgr.exe",
                                       "shutdown.exe",
                                       "ntoskrnl.exe",
                                       "hal.dll",
                                       "control.exe",
                                       "mmc.exe",
                                       "dllhost.exe",
                                       "wscript.exe",
                                       "cscript.exe",
                                       "write.exe",
                                       "xcopy.exe",
                                       "ping.exe",
                                       "ipconfig.exe",
                                       "net.exe",
                                       "sc.exe",
                                       "reg.exe",
                                       "schtasks.exe",
                                       "at.exe",
                                       "wuauclt.exe",
                                       "mstsc.exe",
                                       "verclsid.exe",
                                       "magnify.exe",
                                       "osk.exe",
                                       "charmap.exe",
                                       "dxdiag.exe",
                                       "eventvwr.exe",
                                       "perfmon.exe",
                                       "appwiz.cpl",
                                       "desk.cpl",
                                       "main.cpl",
                                       "mmsys.cpl",
                                       "sysdm.cpl",
                                       "timedate.cpl",
                                       "intl.cpl",
                                       "inetcpl.cpl",
                                       "powercfg.cpl",
                                       "ncpa.cpl",
                                       "firewall.cpl",
                                       "compmgmt.msc",
                                       "devmgmt.msc",
                                       "diskmgmt.msc",
                                       "eventvwr.msc",
                                       "services.msc",
                                       "gpedit.msc",
                                       "drivers\\ntfs.sys",
                                       "drivers\\tcpip.sys",
                                       "drivers\\etc\\hosts",
                                       "drivers\\etc\\services"};
const char* const kSystem32Xp[] = {"browseui.dll", "shimgvw.dll", "sndrec32.exe",
                                   "sndvol32.exe", "systray.exe", "access.cpl"};
const char* const kSystem32Six[] = {
    "imageres.dll", "ieframe.dll", "dwmapi.dll",        "propsys.dll",  "taskschd.dll",
    "wevtapi.dll",  "sndvol.exe",  "SoundRecorder.exe", "msconfig.exe", "taskschd.msc"};
// Not in SysWOW64: the kernel, the drivers and the native-only services.
const char* const kNativeOnly[] = {"ntoskrnl.exe", "hal.dll",      "smss.exe",    "csrss.exe",
                                   "lsass.exe",    "services.exe", "winlogon.exe"};
const char* const kWindowsFiles[] = {"explorer.exe", "regedit.exe",  "notepad.exe",
                                     "hh.exe",       "winhlp32.exe", "twain_32.dll",
                                     "twunk_32.exe", "win.ini",      "system.ini"};
const char* const kFontsCommon[] = {"arial.ttf",    "arialbd.ttf", "cour.ttf",    "times.ttf",
                                    "tahoma.ttf",   "verdana.ttf", "marlett.ttf", "symbol.ttf",
                                    "wingding.ttf", "micross.ttf", "sserife.fon", "vgasys.fon"};
const char* const kFontsSix[] = {"segoeui.ttf", "segoeuib.ttf", "calibri.ttf", "cambria.ttc",
                                 "consola.ttf"};
const char* const kMediaCommon[] = {"chimes.wav", "chord.wav",   "ding.wav",
                                    "notify.wav", "recycle.wav", "tada.wav"};
const char* const kMediaXp[] = {"Windows XP Startup.wav", "Windows XP Shutdown.wav",
                                "Windows XP Error.wav"};
const char* const kMediaSix[] = {"Windows Logon Sound.wav", "Windows Error.wav", "Windows Ding.wav",
                                 "Windows Notify.wav", "Windows Shutdown.wav"};
const char* const kHelp[] = {"mmc.chm", "notepad.chm", "calc.chm", "windows.hlp"};
const char* const kInf[] = {"machine.inf", "usb.inf", "netrtl.inf", "mdmgen.inf"};
const char* const kWindowsFolders[] = {"Temp",
                                       "Tasks",
                                       "System",
                                       "Web\\Wallpaper",
                                       "Cursors",
                                       "Resources\\Themes",
                                       "Installer",
                                       "Prefetch",
                                       "Offline Web Pages",
                                       "Downloaded Program Files",
                                       "assembly",
                                       "Microsoft.NET\\Framework",
                                       "winsxs",
                                       "security\\Database",
                                       "Debug",
                                       "system32\\config",
                                       "system32\\config\\systemprofile",
                                       "system32\\spool\\drivers",
                                       "system32\\catroot",
                                       "system32\\catroot2",
                                       "system32\\LogFiles",
                                       "system32\\wbem",
                                       "system32\\GroupPolicy"};
const char* const kWindowsFoldersXp[] = {"repair",
                                         "PCHEALTH\\HELPCTR\\Binaries",
                                         "ServicePackFiles\\i386",
                                         "Driver Cache\\i386",
                                         "system32\\dllcache",
                                         "system32\\Restore"};
const char* const kWindowsFoldersSix[] = {"Logs", "system32\\DriverStore", "system32\\Tasks",
                                          "system32\\en-US", "Help\\Windows"};
const char* const kProgramFilesCommon[] = {
    "Internet Explorer\\iexplore.exe", "Windows Media Player\\wmplayer.exe",
    "Windows NT\\Accessories\\wordpad.exe", "Common Files\\System\\ado\\msado15.dll"};
const char* const kProgramFilesXp[] = {"Outlook Express\\msimn.exe", "Movie Maker\\moviemk.exe",
                                       "NetMeeting\\conf.exe"};
const char* const kProgramFilesSix[] = {
    "Windows Mail\\WinMail.exe", "Windows Photo Viewer\\PhotoViewer.dll",
    "Windows Defender\\MpCmdRun.exe", "Windows Sidebar\\sidebar.exe"};
const char* const kProgramFilesX86[] = {
    "Internet Explorer\\iexplore.exe", "Windows Media Player\\wmplayer.exe",
    "Windows NT\\Accessories\\wordpad.exe", "Common Files\\System\\ado\\msado15.dll"};

template <std::size_t N>
void AddAll(std::vector<std::u16string>& out, const std::u16string& dir,
            const char* const (&names)[N]) {
  for (const char* n : names) out.push_back(dir + u"\\" + Ascii(n));
}

bool IsNativeOnly(std::u16string_view name) {
  for (const char* n : kNativeOnly) {
    if (EqualsNoCase(name, Ascii(n))) return true;
  }
  return name.starts_with(u"drivers\\");
}

// Small contents that look like their kind of file.
std::string Contents(const std::u16string& path) {
  const std::string name = Utf16ToUtf8(path.substr(path.find_last_of(u'\\') + 1));
  const std::u16string lower = ToLower(path);
  const auto ends = [&](const char16_t* ext) { return lower.ends_with(ext); };
  if (ends(u".exe") || ends(u".dll") || ends(u".sys") || ends(u".cpl") || ends(u".ocx")) {
    std::string s = "MZ";
    s.append(58, '\0');
    s += "PE\0\0";
    return s + name;
  }
  if (ends(u".ttf") || ends(u".ttc")) return std::string("\0\1\0\0", 4) + name;
  if (ends(u".wav")) return std::string("RIFF\x24\0\0\0WAVE", 12) + name;
  if (ends(u".chm")) return "ITSF" + name;
  if (ends(u".ini")) return "; for 16-bit app support\r\n[fonts]\r\n[extensions]\r\n";
  if (ends(u"\\hosts")) return "127.0.0.1       localhost\r\n";
  return "; " + name + "\r\n";
}

// The host path of a Windows path on the machine, for a machine that is being laid out (the
// names are created with the spelling given, or matched to the existing ones).
std::filesystem::path HostOf(const std::filesystem::path& machineDir, const MachineDescriptor& d,
                             std::u16string_view windowsPath) {
  LSTATUS e = 0;
  auto win = SplitDrivePath(windowsPath, false, &e);
  const Drive* drive = win ? d.FindDrive(win->drive) : nullptr;
  if (!drive)
    throw std::filesystem::filesystem_error("not on a drive of the machine",
                                            std::make_error_code(std::errc::invalid_argument));
  std::filesystem::path host = machineDir / drive->folder;
  for (const auto& part : win->parts) {
    // Match an existing name whatever its case, so "System32" and "system32" are one folder.
    std::filesystem::path next = host / Utf16ToUtf8(part);
    std::error_code ec;
    if (!std::filesystem::exists(next, ec) && std::filesystem::is_directory(host, ec)) {
      for (const auto& entry : std::filesystem::directory_iterator(host, ec)) {
        if (EqualsNoCase(Utf8ToUtf16(entry.path().filename().string()), part)) {
          next = entry.path();
          break;
        }
      }
    }
    host = next;
  }
  return host;
}

void MakeFolder(const std::filesystem::path& machineDir, const MachineDescriptor& d,
                const std::u16string& path, DWORD attributes = 0) {
  const auto host = HostOf(machineDir, d, path);
  std::filesystem::create_directories(host);
  if (attributes) {
    LSTATUS e = 0;
    SetHostFileAttributes(host, attributes, &e);
  }
}

void MakeFile(const std::filesystem::path& machineDir, const MachineDescriptor& d,
              const std::u16string& path, DWORD attributes = 0) {
  const auto host = HostOf(machineDir, d, path);
  std::filesystem::create_directories(host.parent_path());
  if (std::filesystem::exists(host)) return;
  std::ofstream out(host, std::ios::binary);
  const std::string bytes = Contents(path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    throw std::filesystem::filesystem_error("cannot write", host,
                                            std::make_error_code(std::errc::io_error));
  }
  out.close();
  if (attributes) {
    LSTATUS e = 0;
    SetHostFileAttributes(host, attributes | FILE_ATTRIBUTE_ARCHIVE, &e);
  }
}

void MakeShortcut(const std::filesystem::path& machineDir, const MachineDescriptor& d,
                  const std::u16string& link, const std::u16string& target) {
  const auto host = HostOf(machineDir, d, link);
  std::filesystem::create_directories(host.parent_path());
  if (std::filesystem::exists(host)) return;
  ShellLinkSpec spec;
  spec.target = target;
  std::string error;
  if (!WriteShellLink(host, spec, &error)) {
    throw std::filesystem::filesystem_error(error, std::make_error_code(std::errc::io_error));
  }
}

}  // namespace

std::vector<std::u16string> StandardSystemFiles(const MachineDescriptor& d) {
  const bool xp = d.version.IsXp();
  const std::u16string win = d.WindowsDirectory();
  const std::u16string sys = SystemDirectory(d);
  const std::u16string drive = win.substr(0, 2);
  std::vector<std::u16string> out;
  AddAll(out, sys, kSystem32Common);
  if (xp) {
    AddAll(out, sys, kSystem32Xp);
  } else {
    AddAll(out, sys, kSystem32Six);
  }
  if (d.Is64Bit()) {
    const std::u16string wow = SystemWow64Directory(d);
    std::vector<std::u16string> native;
    AddAll(native, u"", kSystem32Common);
    if (xp) {
      AddAll(native, u"", kSystem32Xp);
    } else {
      AddAll(native, u"", kSystem32Six);
    }
    for (const auto& n : native) {
      if (!IsNativeOnly(n.substr(1))) out.push_back(wow + n);
    }
    out.push_back(wow + u"\\regedit.exe");
  }
  AddAll(out, win, kWindowsFiles);
  AddAll(out, win + u"\\Fonts", kFontsCommon);
  if (!xp) AddAll(out, win + u"\\Fonts", kFontsSix);
  AddAll(out, win + u"\\Media", kMediaCommon);
  if (xp) {
    AddAll(out, win + u"\\Media", kMediaXp);
  } else {
    AddAll(out, win + u"\\Media", kMediaSix);
  }
  AddAll(out, win + u"\\Help", kHelp);
  AddAll(out, win + u"\\inf", kInf);
  AddAll(out, drive + u"\\Program Files", kProgramFilesCommon);
  if (xp) {
    AddAll(out, drive + u"\\Program Files", kProgramFilesXp);
  } else {
    AddAll(out, drive + u"\\Program Files", kProgramFilesSix);
  }
  if (d.Is64Bit()) AddAll(out, drive + u"\\Program Files (x86)", kProgramFilesX86);
  // Text files that Windows changes itself are not protected.
  std::erase_if(out, [](const std::u16string& p) {
    return EndsWithNoCase(p, u".ini") || EndsWithNoCase(p, u"\\hosts") ||
           EndsWithNoCase(p, u"\\services");
  });
  return out;
}

void LayOutMachineFolders(const std::filesystem::path& machineDir, const MachineDescriptor& d) {
  const bool xp = d.version.IsXp();
  const std::u16string win = d.WindowsDirectory();
  const std::u16string drive = win.substr(0, 2);
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

  for (const Drive& dr : d.drives) std::filesystem::create_directories(machineDir / dr.folder);

  // The Windows folder and its system folders, spelled as that version spells them.
  MakeFolder(machineDir, d, win);
  MakeFolder(machineDir, d, win + (xp ? u"\\system32" : u"\\System32"));
  if (d.Is64Bit()) MakeFolder(machineDir, d, SystemWow64Directory(d));
  for (const char* f : kWindowsFolders) MakeFolder(machineDir, d, win + u"\\" + Ascii(f));
  if (xp) {
    for (const char* f : kWindowsFoldersXp) MakeFolder(machineDir, d, win + u"\\" + Ascii(f));
  } else {
    for (const char* f : kWindowsFoldersSix) MakeFolder(machineDir, d, win + u"\\" + Ascii(f));
  }
  if (d.Is64Bit()) {
    for (const char* f : {"drivers", "wbem", "en-US"}) {
      MakeFolder(machineDir, d, SystemWow64Directory(d) + u"\\" + Ascii(f));
    }
  }
  MakeFolder(machineDir, d, win + u"\\Installer", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(machineDir, d, SystemDirectory(d) + u"\\drivers\\etc\\hosts");
  MakeFile(machineDir, d, SystemDirectory(d) + u"\\drivers\\etc\\services");
  for (const auto& file : StandardSystemFiles(d)) MakeFile(machineDir, d, file);
  for (const char* f : {"win.ini", "system.ini"}) MakeFile(machineDir, d, win + u"\\" + Ascii(f));

  // Program folders.
  MakeFolder(machineDir, d, drive + u"\\Program Files\\Common Files\\Microsoft Shared");
  if (xp) {
    MakeFolder(machineDir, d, drive + u"\\Program Files\\Uninstall Information",
               FILE_ATTRIBUTE_HIDDEN);
  }
  if (d.Is64Bit()) {
    MakeFolder(machineDir, d, drive + u"\\Program Files (x86)\\Common Files\\Microsoft Shared");
  }

  // The root of the system drive.
  MakeFolder(machineDir, d, drive + u"\\System Volume Information", kHiddenSystem);
  MakeFolder(machineDir, d, drive + (xp ? u"\\RECYCLER" : u"\\$Recycle.Bin"), kHiddenSystem);
  if (xp) {
    for (const char* f : {"boot.ini", "ntldr", "NTDETECT.COM", "IO.SYS", "MSDOS.SYS"}) {
      MakeFile(machineDir, d, drive + u"\\" + Ascii(f), kHiddenSystem);
    }
    MakeFile(machineDir, d, drive + u"\\AUTOEXEC.BAT");
    MakeFile(machineDir, d, drive + u"\\CONFIG.SYS");
  } else {
    MakeFile(machineDir, d, drive + u"\\bootmgr", kHiddenSystem | FILE_ATTRIBUTE_READONLY);
    MakeFolder(machineDir, d, drive + u"\\Boot", kHiddenSystem);
  }
  MakeFile(machineDir, d, drive + u"\\pagefile.sys", kHiddenSystem);

  // Profiles: every user's, the all-users one and the default user's.
  const std::u16string profiles = ProfilesDirectory(d);
  MakeFolder(machineDir, d, profiles + (xp ? u"\\Default User" : u"\\Default"),
             FILE_ATTRIBUTE_HIDDEN);
  MakeFolder(machineDir, d, profiles + (xp ? u"\\Default User" : u"\\Default") + u"\\Desktop");
  if (!xp) MakeFolder(machineDir, d, AllUsersProfile(d), FILE_ATTRIBUTE_HIDDEN);
  const int userFolders[] = {
      CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS,       CSIDL_PERSONAL,  CSIDL_FAVORITES, CSIDL_STARTUP,
      CSIDL_RECENT,           CSIDL_SENDTO,         CSIDL_STARTMENU, CSIDL_MYMUSIC,   CSIDL_MYVIDEO,
      CSIDL_MYPICTURES,       CSIDL_NETHOOD,        CSIDL_PRINTHOOD, CSIDL_TEMPLATES, CSIDL_APPDATA,
      CSIDL_LOCAL_APPDATA,    CSIDL_INTERNET_CACHE, CSIDL_COOKIES,   CSIDL_HISTORY};
  const int commonFolders[] = {CSIDL_COMMON_STARTMENU,  CSIDL_COMMON_PROGRAMS,
                               CSIDL_COMMON_STARTUP,    CSIDL_COMMON_DESKTOPDIRECTORY,
                               CSIDL_COMMON_APPDATA,    CSIDL_COMMON_TEMPLATES,
                               CSIDL_COMMON_DOCUMENTS,  CSIDL_COMMON_MUSIC,
                               CSIDL_COMMON_PICTURES,   CSIDL_COMMON_VIDEO,
                               CSIDL_COMMON_ADMINTOOLS, CSIDL_COMMON_FAVORITES};
  for (const UserAccount& user : d.users) {
    MakeFolder(machineDir, d, user.profile);
    for (int csidl : userFolders) {
      MakeFolder(machineDir, d, *SpecialFolderPath(d, user, false, csidl));
    }
    const std::u16string roaming = *SpecialFolderPath(d, user, false, CSIDL_APPDATA);
    const std::u16string local = *SpecialFolderPath(d, user, false, CSIDL_LOCAL_APPDATA);
    MakeFolder(machineDir, d, roaming + u"\\Microsoft\\Internet Explorer\\Quick Launch");
    MakeFolder(machineDir, d, UserTempDirectory(d, user));
    MakeFolder(machineDir, d, local + u"\\Microsoft\\Windows");
    MakeFolder(machineDir, d,
               *SpecialFolderPath(d, user, false, CSIDL_PROGRAMS) + u"\\Accessories");
    if (xp) {
      MakeFolder(machineDir, d, user.profile + u"\\Local Settings", FILE_ATTRIBUTE_HIDDEN);
    } else {
      MakeFolder(machineDir, d, user.profile + u"\\AppData", FILE_ATTRIBUTE_HIDDEN);
      MakeFolder(machineDir, d, user.profile + u"\\AppData\\LocalLow");
      for (const char* f : {"Downloads", "Links", "Saved Games", "Contacts", "Searches"}) {
        MakeFolder(machineDir, d, user.profile + u"\\" + Ascii(f));
      }
    }
    for (int csidl : commonFolders) {
      MakeFolder(machineDir, d, *SpecialFolderPath(d, user, false, csidl));
    }
  }
  // A few of the shortcuts Windows installs, so the start menu is not empty.
  if (!d.users.empty()) {
    const UserAccount& user = d.users.front();
    const std::u16string accessories =
        *SpecialFolderPath(d, user, false, CSIDL_COMMON_PROGRAMS) + u"\\Accessories";
    const std::u16string sys = SystemDirectory(d);
    MakeShortcut(machineDir, d, accessories + u"\\Notepad.lnk", sys + u"\\notepad.exe");
    MakeShortcut(machineDir, d, accessories + u"\\Calculator.lnk", sys + u"\\calc.exe");
    MakeShortcut(machineDir, d, accessories + u"\\Command Prompt.lnk", sys + u"\\cmd.exe");
    MakeShortcut(
        machineDir, d,
        *SpecialFolderPath(d, user, false, CSIDL_COMMON_PROGRAMS) + u"\\Internet Explorer.lnk",
        drive + u"\\Program Files\\Internet Explorer\\iexplore.exe");
  }
}

}  // namespace bc::platform::sim
