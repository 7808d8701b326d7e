#include "platform/sim/shell_folders.h"

#include "platform/shell.h"

namespace bc::platform::sim {
namespace {

std::u16string SystemDrive(const MachineDescriptor& d) {
  return d.WindowsDirectory().substr(0, 2);
}

}  // namespace

std::u16string ProfilesDirectory(const MachineDescriptor& d) {
  return SystemDrive(d) + (d.version.IsXp() ? u"\\Documents and Settings" : u"\\Users");
}

std::u16string AllUsersProfile(const MachineDescriptor& d) {
  return d.version.IsXp() ? ProfilesDirectory(d) + u"\\All Users"
                          : SystemDrive(d) + u"\\ProgramData";
}

std::u16string PublicProfile(const MachineDescriptor& d) {
  return d.version.IsXp() ? AllUsersProfile(d) : ProfilesDirectory(d) + u"\\Public";
}

std::u16string SystemDirectory(const MachineDescriptor& d) {
  return d.WindowsDirectory() + u"\\system32";
}

std::u16string SystemWow64Directory(const MachineDescriptor& d) {
  return d.WindowsDirectory() + u"\\SysWOW64";
}

std::u16string UserTempDirectory(const MachineDescriptor& d, const UserAccount& user) {
  return user.profile + (d.version.IsXp() ? u"\\Local Settings\\Temp" : u"\\AppData\\Local\\Temp");
}

std::optional<std::u16string> SpecialFolderPath(const MachineDescriptor& d, const UserAccount& user,
                                                bool wow64, int csidl) {
  const bool xp = d.version.IsXp();
  const std::u16string& p = user.profile;
  const std::u16string win = d.WindowsDirectory();
  const std::u16string all = AllUsersProfile(d);
  const std::u16string pub = PublicProfile(d);
  const std::u16string roaming = xp ? p + u"\\Application Data" : p + u"\\AppData\\Roaming";
  const std::u16string local =
      xp ? p + u"\\Local Settings\\Application Data" : p + u"\\AppData\\Local";
  const std::u16string shellRoaming = xp ? p : roaming + u"\\Microsoft\\Windows";
  const std::u16string startMenu = shellRoaming + u"\\Start Menu";
  const std::u16string commonShell = xp ? all : all + u"\\Microsoft\\Windows";
  const std::u16string commonStartMenu = commonShell + u"\\Start Menu";
  const std::u16string docs = xp ? p + u"\\My Documents" : p + u"\\Documents";
  const std::u16string pf = SystemDrive(d) + u"\\Program Files";
  const std::u16string pf86 = d.Is64Bit() ? SystemDrive(d) + u"\\Program Files (x86)" : pf;
  switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY:
      return p + u"\\Desktop";
    case CSIDL_PROGRAMS:
      return startMenu + u"\\Programs";
    case CSIDL_PERSONAL:
      return docs;
    case CSIDL_FAVORITES:
      return p + u"\\Favorites";
    case CSIDL_STARTUP:
      return startMenu + u"\\Programs\\Startup";
    case CSIDL_RECENT:
      return shellRoaming + u"\\Recent";
    case CSIDL_SENDTO:
      return shellRoaming + u"\\SendTo";
    case CSIDL_STARTMENU:
      return startMenu;
    case CSIDL_MYMUSIC:
      return xp ? docs + u"\\My Music" : p + u"\\Music";
    case CSIDL_MYVIDEO:
      return xp ? docs + u"\\My Videos" : p + u"\\Videos";
    case CSIDL_MYPICTURES:
      return xp ? docs + u"\\My Pictures" : p + u"\\Pictures";
    case CSIDL_NETWORK:
      return std::u16string();
    case CSIDL_NETHOOD:
      return shellRoaming + (xp ? u"\\NetHood" : u"\\Network Shortcuts");
    case CSIDL_PRINTHOOD:
      return shellRoaming + (xp ? u"\\PrintHood" : u"\\Printer Shortcuts");
    case CSIDL_FONTS:
      return win + u"\\Fonts";
    case CSIDL_TEMPLATES:
      return shellRoaming + u"\\Templates";
    case CSIDL_COMMON_STARTMENU:
      return commonStartMenu;
    case CSIDL_COMMON_PROGRAMS:
      return commonStartMenu + u"\\Programs";
    case CSIDL_COMMON_STARTUP:
      return commonStartMenu + u"\\Programs\\Startup";
    case CSIDL_COMMON_DESKTOPDIRECTORY:
      return pub + u"\\Desktop";
    case CSIDL_APPDATA:
      return roaming;
    case CSIDL_LOCAL_APPDATA:
      return local;
    case CSIDL_COMMON_FAVORITES:
      return xp ? all + u"\\Favorites" : p + u"\\Favorites";
    case CSIDL_INTERNET_CACHE:
      return xp ? p + u"\\Local Settings\\Temporary Internet Files"
                : local + u"\\Microsoft\\Windows\\Temporary Internet Files";
    case CSIDL_COOKIES:
      return xp ? p + u"\\Cookies" : shellRoaming + u"\\Cookies";
    case CSIDL_HISTORY:
      return xp ? p + u"\\Local Settings\\History" : local + u"\\Microsoft\\Windows\\History";
    case CSIDL_COMMON_APPDATA:
      return xp ? all + u"\\Application Data" : all;
    case CSIDL_WINDOWS:
      return win;
    case CSIDL_SYSTEM:
      return SystemDirectory(d);
    case CSIDL_SYSTEMX86:
      return d.Is64Bit() ? SystemWow64Directory(d) : SystemDirectory(d);
    case CSIDL_PROGRAM_FILES:
      return wow64 ? pf86 : pf;
    case CSIDL_PROGRAM_FILESX86:
      return pf86;
    case CSIDL_PROGRAM_FILES_COMMON:
      return (wow64 ? pf86 : pf) + u"\\Common Files";
    case CSIDL_PROGRAM_FILES_COMMONX86:
      return pf86 + u"\\Common Files";
    case CSIDL_PROFILE:
      return p;
    case CSIDL_COMMON_TEMPLATES:
      return commonShell + u"\\Templates";
    case CSIDL_COMMON_DOCUMENTS:
      return xp ? all + u"\\Documents" : pub + u"\\Documents";
    case CSIDL_COMMON_ADMINTOOLS:
      return commonStartMenu + u"\\Programs\\Administrative Tools";
    case CSIDL_ADMINTOOLS:
      return startMenu + u"\\Programs\\Administrative Tools";
    case CSIDL_COMMON_MUSIC:
      return xp ? all + u"\\Documents\\My Music" : pub + u"\\Music";
    case CSIDL_COMMON_PICTURES:
      return xp ? all + u"\\Documents\\My Pictures" : pub + u"\\Pictures";
    case CSIDL_COMMON_VIDEO:
      return xp ? all + u"\\Documents\\My Videos" : pub + u"\\Videos";
    case CSIDL_RESOURCES:
      return win + u"\\Resources";
    default:
      return std::nullopt;
  }
}

std::vector<int> FileSystemCsidls() {
  return {CSIDL_DESKTOPDIRECTORY,
          CSIDL_PROGRAMS,
          CSIDL_PERSONAL,
          CSIDL_FAVORITES,
          CSIDL_STARTUP,
          CSIDL_RECENT,
          CSIDL_SENDTO,
          CSIDL_STARTMENU,
          CSIDL_MYMUSIC,
          CSIDL_MYVIDEO,
          CSIDL_MYPICTURES,
          CSIDL_NETHOOD,
          CSIDL_PRINTHOOD,
          CSIDL_FONTS,
          CSIDL_TEMPLATES,
          CSIDL_COMMON_STARTMENU,
          CSIDL_COMMON_PROGRAMS,
          CSIDL_COMMON_STARTUP,
          CSIDL_COMMON_DESKTOPDIRECTORY,
          CSIDL_APPDATA,
          CSIDL_LOCAL_APPDATA,
          CSIDL_COMMON_FAVORITES,
          CSIDL_INTERNET_CACHE,
          CSIDL_COOKIES,
          CSIDL_HISTORY,
          CSIDL_COMMON_APPDATA,
          CSIDL_WINDOWS,
          CSIDL_SYSTEM,
          CSIDL_SYSTEMX86,
          CSIDL_PROGRAM_FILES,
          CSIDL_PROGRAM_FILESX86,
          CSIDL_PROGRAM_FILES_COMMON,
          CSIDL_PROGRAM_FILES_COMMONX86,
          CSIDL_PROFILE,
          CSIDL_COMMON_TEMPLATES,
          CSIDL_COMMON_DOCUMENTS,
          CSIDL_COMMON_ADMINTOOLS,
          CSIDL_ADMINTOOLS,
          CSIDL_COMMON_MUSIC,
          CSIDL_COMMON_PICTURES,
          CSIDL_COMMON_VIDEO,
          CSIDL_RESOURCES};
}

}  // namespace bc::platform::sim
