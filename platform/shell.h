// Shell calls (shell32/userenv): special folders, shortcuts, the recycle bin, ShellExecuteW.
// Failures set the calling thread's last error as files.h describes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/win32_types.h"

namespace bc::platform {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT HRESULT_FROM_WIN32(LSTATUS e) {
  return e <= 0 ? e : static_cast<HRESULT>((static_cast<std::uint32_t>(e) & 0xFFFFu) | 0x80070000u);
}
inline constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}

// Special folders (CSIDL values).
inline constexpr int CSIDL_DESKTOP = 0x00;
inline constexpr int CSIDL_PROGRAMS = 0x02;
inline constexpr int CSIDL_PERSONAL = 0x05;
inline constexpr int CSIDL_FAVORITES = 0x06;
inline constexpr int CSIDL_STARTUP = 0x07;
inline constexpr int CSIDL_RECENT = 0x08;
inline constexpr int CSIDL_SENDTO = 0x09;
inline constexpr int CSIDL_STARTMENU = 0x0B;
inline constexpr int CSIDL_MYMUSIC = 0x0D;
inline constexpr int CSIDL_MYVIDEO = 0x0E;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
inline constexpr int CSIDL_NETWORK = 0x12;  // a virtual folder: no file-system path
inline constexpr int CSIDL_NETHOOD = 0x13;
inline constexpr int CSIDL_FONTS = 0x14;
inline constexpr int CSIDL_TEMPLATES = 0x15;
inline constexpr int CSIDL_COMMON_STARTMENU = 0x16;
inline constexpr int CSIDL_COMMON_PROGRAMS = 0x17;
inline constexpr int CSIDL_COMMON_STARTUP = 0x18;
inline constexpr int CSIDL_COMMON_DESKTOPDIRECTORY = 0x19;
inline constexpr int CSIDL_APPDATA = 0x1A;
inline constexpr int CSIDL_PRINTHOOD = 0x1B;
inline constexpr int CSIDL_LOCAL_APPDATA = 0x1C;
inline constexpr int CSIDL_COMMON_FAVORITES = 0x1F;
inline constexpr int CSIDL_INTERNET_CACHE = 0x20;
inline constexpr int CSIDL_COOKIES = 0x21;
inline constexpr int CSIDL_HISTORY = 0x22;
inline constexpr int CSIDL_COMMON_APPDATA = 0x23;
inline constexpr int CSIDL_WINDOWS = 0x24;
inline constexpr int CSIDL_SYSTEM = 0x25;
inline constexpr int CSIDL_PROGRAM_FILES = 0x26;
inline constexpr int CSIDL_MYPICTURES = 0x27;
inline constexpr int CSIDL_PROFILE = 0x28;
inline constexpr int CSIDL_SYSTEMX86 = 0x29;
inline constexpr int CSIDL_PROGRAM_FILESX86 = 0x2A;
inline constexpr int CSIDL_PROGRAM_FILES_COMMON = 0x2B;
inline constexpr int CSIDL_PROGRAM_FILES_COMMONX86 = 0x2C;
inline constexpr int CSIDL_COMMON_TEMPLATES = 0x2D;
inline constexpr int CSIDL_COMMON_DOCUMENTS = 0x2E;
inline constexpr int CSIDL_COMMON_ADMINTOOLS = 0x2F;
inline constexpr int CSIDL_ADMINTOOLS = 0x30;
inline constexpr int CSIDL_COMMON_MUSIC = 0x35;
inline constexpr int CSIDL_COMMON_PICTURES = 0x36;
inline constexpr int CSIDL_COMMON_VIDEO = 0x37;
inline constexpr int CSIDL_RESOURCES = 0x38;
inline constexpr int CSIDL_FLAG_DONT_VERIFY = 0x4000;
inline constexpr int CSIDL_FLAG_CREATE = 0x8000;
inline constexpr DWORD SHGFP_TYPE_CURRENT = 0;

// IShellLinkW::GetPath flags.
inline constexpr DWORD SLGP_SHORTPATH = 0x1;
inline constexpr DWORD SLGP_UNCPRIORITY = 0x2;
inline constexpr DWORD SLGP_RAWPATH = 0x4;

// SHFileOperationW.
inline constexpr UINT FO_MOVE = 1;
inline constexpr UINT FO_COPY = 2;
inline constexpr UINT FO_DELETE = 3;
inline constexpr UINT FO_RENAME = 4;
using FILEOP_FLAGS = std::uint16_t;
inline constexpr FILEOP_FLAGS FOF_SILENT = 0x4;
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x10;
inline constexpr FILEOP_FLAGS FOF_ALLOWUNDO = 0x40;
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMMKDIR = 0x200;
inline constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x400;
// SHFileOperationW's own answers besides Win32 codes.
inline constexpr int DE_INVALIDFILES = 0x7C;

struct SHFILEOPSTRUCTW {
  UINT wFunc = FO_DELETE;
  std::vector<std::u16string> pFrom;  // the items; Windows' double-NUL list
  std::vector<std::u16string> pTo;    // one destination, or one per item
  FILEOP_FLAGS fFlags = 0;
  BOOL fAnyOperationsAborted = 0;
};

// ShellExecuteW show commands and answers (values above 32 mean success).
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
using HINSTANCE_RESULT = std::intptr_t;
inline constexpr HINSTANCE_RESULT SE_ERR_FNF = 2;
inline constexpr HINSTANCE_RESULT SE_ERR_PNF = 3;
inline constexpr HINSTANCE_RESULT SE_ERR_ACCESSDENIED = 5;
inline constexpr HINSTANCE_RESULT SE_ERR_OOM = 8;
inline constexpr HINSTANCE_RESULT SE_ERR_NOASSOC = 31;
inline constexpr HINSTANCE_RESULT kShellExecuteSucceeded = 42;

inline constexpr DWORD SEE_MASK_NOCLOSEPROCESS = 0x40;
inline constexpr DWORD SEE_MASK_FLAG_NO_UI = 0x400;

struct SHELLEXECUTEINFOW {
  DWORD fMask = 0;
  std::u16string lpVerb;  // "open", "runas" or empty
  std::u16string lpFile;
  std::u16string lpParameters;
  std::u16string lpDirectory;
  int nShow = SW_SHOWNORMAL;
  HINSTANCE_RESULT hInstApp = 0;  // out: as ShellExecuteW answers
  HANDLE hProcess = 0;            // out with SEE_MASK_NOCLOSEPROCESS (close via IProcesses)
};

class IShell {
 public:
  virtual ~IShell() = default;

  // Path of a special folder for this process's user (csidl may carry CSIDL_FLAG_CREATE, which
  // creates it, or CSIDL_FLAG_DONT_VERIFY). S_OK; E_FAIL when the folder does not exist or has no
  // file-system path (CSIDL_NETWORK); E_INVALIDARG for an unknown csidl. A 32-bit process on a
  // 64-bit machine gets the 32-bit program folders for CSIDL_PROGRAM_FILES(_COMMON).
  virtual HRESULT SHGetFolderPathW(int csidl, DWORD flags, std::u16string* path) = 0;
  // The same lookup as SHGetSpecialFolderLocation followed by SHGetPathFromIDListW.
  virtual BOOL SHGetSpecialFolderPathW(std::u16string* path, int csidl, BOOL create) = 0;
  // userenv: "C:\Documents and Settings" (XP) or "C:\Users". *cch: in the buffer size, out the
  // size needed including the NUL; FALSE with ERROR_INSUFFICIENT_BUFFER when too small.
  virtual BOOL GetProfilesDirectoryW(std::u16string* out, DWORD* cch) = 0;

  // IShellLinkW loaded from lnkFile (IPersistFile::Load), then GetPath into a buffer of cchMax
  // characters: S_OK with the target; S_FALSE and an empty path when the link has no file-system
  // target; a failure code when the file cannot be read as a shortcut. Links are not resolved.
  virtual HRESULT ShellLinkGetPath(std::u16string_view lnkFile, DWORD cchMax, DWORD flags,
                                   std::u16string* path) = 0;

  // FO_DELETE with FOF_ALLOWUNDO moves each item into the recycle bin of its drive (for the
  // user's SID, in the layout of the machine's Windows version); without it the items are
  // deleted. FO_MOVE, FO_COPY and FO_RENAME work on files and folders. Answers 0 on success, else
  // a Win32 code or DE_INVALIDFILES.
  virtual int SHFileOperationW(SHFILEOPSTRUCTW* op) = 0;

  // Starts a program of the machine (or opens a document with the program registered for it).
  // verb "runas" starts it elevated after the elevation prompt, as does any verb for a program
  // that asks for the highest level (the registry editor) when an unelevated administrator starts
  // it. The prompt is refused when the machine says so or the user is not an administrator:
  // SE_ERR_ACCESSDENIED with last error ERROR_CANCELLED. On XP "runas" starts the program as the
  // caller. Above 32 on success.
  virtual HINSTANCE_RESULT ShellExecuteW(std::u16string_view verb, std::u16string_view file,
                                         std::u16string_view parameters,
                                         std::u16string_view directory, int showCmd) = 0;
  // As ShellExecuteW; TRUE on success. With SEE_MASK_NOCLOSEPROCESS, hProcess is the new process.
  virtual BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) = 0;
};

}  // namespace bc::platform
