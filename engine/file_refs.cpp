#include "engine/file_refs.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/reg_keys.h"
#include "platform/files.h"
#include "platform/path_string.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace bc::engine {

namespace {

constexpr auto npos = std::u16string_view::npos;

// Answer of a partial judgement that has not decided yet.
constexpr int kGoOn = -1;
// "rundll32" calls nested deeper than this are not understood and therefore accepted; the bound
// keeps hostile data ("rundll32 rundll32 rundll32 ...") from recursing without end.
constexpr int kMaxRundllDepth = 8;

constexpr std::size_t kExpandBuffer = 2048;
constexpr std::size_t kLongTextLimit = 1039;
constexpr std::size_t kMaxPath = 260;

constexpr std::array<std::u16string_view, 12> kDeviceNames{
    u"\\CON",  u"\\PRN",  u"\\AUX",  u"\\CLOCK$", u"\\NUL",  u"\\COM1",
    u"\\LPT1", u"\\LPT2", u"\\LPT3", u"\\COM2",   u"\\COM3", u"\\COM4"};

// Paths that are not tested at all; compared as substrings of the lower-cased path.
std::vector<std::u16string> SkippedFolderFragments() {
  return {u"outlook",
          u"microsoft office",
          u"common files\\crystal decisions",
          u"common files\\installshield",
          u"common files\\speechengines",
          u"common Files\\adobe",
          u"common files\\system",
          u"common Files\\microsoft",
          u"\\application data\\microsoft",
          u"microsoft.net",
          u"net\\framework",
          u"%windir%\\tracing",
          u"mcafee",
          u"symantec",
          u"navw32",
          u"navw64",
          u"msocache",
          u";",
          u"|",
          u"?",
          u"*",
          u"a:\\",
          u"b:\\",
          u"\\tracing",
          u"\\drm"};
}

bool Contains(std::u16string_view s, std::u16string_view part) {
  return s.find(part) != npos;
}

bool IsLetter(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
  return ToLower(c) != ToUpper(c);
}

// A text that can name a file by itself: a drive path or a network path. Switches ("/s"),
// words and pieces of a path split at a blank are not files, so they never make a command
// missing.
bool LooksLikePath(std::u16string_view s) {
  return Contains(s, u":\\") || s.starts_with(u"\\\\");
}

std::size_t CountOf(std::u16string_view s, char16_t c) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), c));
}

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// The part of the text up to and including its extension as the C run time splits it; an
// extension that holds a blank ends at the blank.
std::u16string CutAfterOwnExtension(std::u16string_view w) {
  const platform::SplitPathResult parts = platform::SplitPathW(w);
  std::u16string_view ext = parts.ext;
  if (!ext.empty()) {
    const auto blank = ext.find(u' ');
    if (blank != npos) ext = ext.substr(0, blank);
    w = w.substr(0, w.size() - parts.ext.size() + ext.size());
  }
  return Trim(w);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Text-only helpers

bool IsDeviceName(std::u16string_view path) {
  if (path.size() <= 4) return false;
  for (std::u16string_view device : kDeviceNames) {
    if (EndsWithNoCase(path, device)) return true;
  }
  return false;
}

bool CutAfterExtension(std::u16string_view extension, std::u16string& path) {
  if (extension.empty()) return false;
  const std::size_t at = FindNoCase(path, extension);
  if (at == npos || at == 0) return false;
  const std::size_t end = at + extension.size();
  if (end >= path.size()) return false;
  path.resize(end);
  return true;
}

std::u16string ExtractFilePathText(std::u16string_view command) {
  std::u16string s = Trim(command);
  std::size_t lead = 0;
  while (lead < s.size() && s[lead] == u'"') ++lead;
  s.erase(0, lead);

  if (!s.empty() && s.back() == u'"') s.pop_back();
  const std::size_t quotedArgs = s.find(u" \"");
  if (quotedArgs != npos) {
    s.resize(quotedArgs);
    // The quote that closed the program's path, now at the end.
    if (!s.empty() && s.back() == u'"') s.pop_back();
  }

  for (std::u16string_view ext : {u".exe", u".dll", u".ocx"}) {
    const std::size_t at = FindNoCase(s, ext);
    if (at != npos) {
      s.resize(at + ext.size());
      break;
    }
  }

  const std::size_t sw = s.find(u" /");
  if (sw != npos) s.resize(sw);

  const std::size_t comma = s.find(u',');
  if (comma != npos) {
    // A resource index after the extension ("icon.ico,3"): the extension holds the comma.
    const platform::SplitPathResult parts = platform::SplitPathW(s);
    if (parts.ext.size() > 1 && parts.ext.find(u',') != std::u16string::npos) s.resize(comma);
  }

  const std::size_t lastSep = s.rfind(u'\\');
  const std::size_t blank = s.find(u' ', lastSep == npos ? 0 : lastSep);
  if (blank != npos) s = Trim(std::u16string_view(s).substr(0, blank));
  return s;
}

// ---------------------------------------------------------------------------------------------

CFileReferences::CFileReferences(EngineContext& ctx, const CSkipLists& skipLists)
    : ctx_(ctx),
      skipLists_(skipLists),
      files_(ctx.Platform().Files()),
      system_(ctx.Platform().System()),
      skippedFolders_(SkippedFolderFragments()) {}

std::u16string CFileReferences::ExtractFilePath(std::u16string_view command) {
  std::u16string path = ExtractFilePathText(command);
  if (CountOf(path, u'%') >= 2) ExpandEnvironment(path, kExpandBuffer);
  return path;
}

int CFileReferences::FileReferenceIsValid(const CCategory& category, std::u16string_view text,
                                          const FileCheckFlags& flags) {
  return Judge(category, text, flags, 0);
}

int CFileReferences::Judge(const CCategory& category, std::u16string_view text,
                           const FileCheckFlags& flags, int depth) {
  if (text.size() < 4 || text.starts_with(u".\\")) return 1;
  if (category.IsStopRequested()) return 1;
  if (IsCached(text)) return 1;
  try {
    return JudgeUncached(category, text, flags, depth);
  } catch (...) {
    // Whatever went wrong, the text was not proven dead.
    try {
      return Accept(text);
    } catch (...) {
      return 1;
    }
  }
}

int CFileReferences::JudgeUncached(const CCategory& category, std::u16string_view text,
                                   const FileCheckFlags& flags, int depth) {
  std::u16string w = ToLower(TrimView(text));
  if (w.size() < 4 || files_.PathFileExistsW(w)) return Accept(text);

  // Assembly identities ("name, version=1.0.0.0, publickeytoken=..., type=win32").
  int identityParts = 0;
  for (std::u16string_view part : {u"type=", u"version=", u"token=", u"architecture="}) {
    if (Contains(w, part)) ++identityParts;
  }
  if (identityParts >= 2) {
    if (platform::PathIsFileSpecW(w) || !IsLetter(w[0]) || identityParts >= 3) {
      return Accept(text);
    }
    if (CountOf(w, u'.') > 4) return Accept(text);
  }

  if (w.starts_with(u"rundll32") || w.starts_with(u"\"rundll32")) {
    if (JudgeRundll32(category, text, flags, depth) != 1) return 0;
    // A stop answers 1 without a verdict; only a real one is remembered.
    return category.IsStopRequested() ? 1 : Accept(text);
  }

  // URLs: only res:// and file:// name local files.
  const std::size_t scheme = w.find(u"://");
  if (scheme != npos && scheme >= 3 && scheme <= 6) {
    const std::u16string_view name = std::u16string_view(w).substr(0, scheme);
    if (name != u"res" && name != u"file") return Accept(text);
    std::size_t rest = scheme + 3;
    while (rest < w.size() && w[rest] == u'/') ++rest;
    w.erase(0, rest);
    std::replace(w.begin(), w.end(), u'/', u'\\');
  }

  if (Contains(w, u";")) return Accept(text);  // a list of paths

  if (Contains(w, u"*")) {
    if (w.ends_with(u"\\*") || w.ends_with(u"/*")) w.pop_back();
    const std::size_t star = w.find(u'*');
    if (star != npos && w.find_first_of(u"\\*", star + 1) != npos) return Accept(text);
  }
  if (Contains(w, u"?") || Contains(w, u"\\*\\")) return Accept(text);

  // Resource references: "@%SystemRoot%\system32\shell32.dll,-21787".
  if (w.size() > 1 && w[0] == u'@' && (w[1] == u'%' || IsLetter(w[1]))) w.erase(0, 1);

  if (!flags.checkNetwork && files_.PathIsNetworkPathW(w)) return Accept(text);
  if (flags.useFolderSkips && IsSkippedFolder(w)) return Accept(text);

  // A quoted path whose closing quote the extension cut removes is still a quoted path.
  bool quotedPath = false;
  if (flags.commandLine) {
    const int verdict = JudgeCommandLine(category, text, w);
    if (verdict != kGoOn) return verdict;
  } else {
    quotedPath = w.size() > 1 && w[0] == u'"' && w.find(u'"', 1) != npos;
    for (std::u16string_view ext : {u".exe", u".dll", u".ocx", u".ax", u".sys"}) {
      if (CutAfterExtension(ext, w)) break;
    }
  }

  if (!w.empty() && w[0] == u'"') {
    if (!quotedPath && (w.size() < 2 || w.find(u'"', 1) == npos)) return Accept(text);
    std::replace(w.begin(), w.end(), u'"', u' ');
  }
  w = Trim(w);

  if (flags.checkExtras && !skipLists_.IsCheckableFile(w)) return Accept(text);

  if (CountOf(w, u'%') >= 2) {
    std::u16string expanded = w;
    if (ExpandEnvironment(expanded, kExpandBuffer)) w = ToLower(expanded);
  }

  if (w.starts_with(u"rundll32") && w.size() > 7) {
    const std::size_t blank = w.find(u' ', 8);
    if (blank != npos) {
      std::u16string dll = Trim(std::u16string_view(w).substr(blank + 1));
      const std::size_t comma = dll.find(u',');
      if (comma != npos) dll.resize(comma);
      if (files_.PathFileExistsW(dll)) return Accept(text);
      w = std::move(dll);
    }
  }

  if (w.size() > kLongTextLimit) {
    const std::size_t first = w.find(u'\\');
    if (first == npos || w.find(u'\\', first + 1) == npos || files_.PathIsNetworkPathW(w)) {
      return Accept(text);
    }
    return FileExists(w) >= 0 ? Accept(text) : 0;
  }
  if (w.size() > kMaxPath) return Accept(text);

  if (Contains(w, u":\\")) return JudgeDrivePath(category, text, w, flags);
  return JudgeBareName(category, text, std::move(w), flags);
}

int CFileReferences::JudgeCommandLine(const CCategory& category, std::u16string_view text,
                                      std::u16string_view w) {
  // Every argument tail that names a file must exist.
  std::u16string_view tail = w;
  for (;;) {
    if (category.IsStopRequested()) return 1;
    tail = platform::PathGetArgsW(tail);
    if (tail.empty()) break;
    if (!LooksLikePath(tail) || FileExists(tail) >= 0) continue;
    const bool isProtected = IsProtected(tail);
    const std::size_t exe = tail.find(u".exe");
    if (exe != npos && exe > 0) {
      if (!isProtected) return 0;
      continue;
    }
    if (Contains(tail, u" ")) continue;
    if (!isProtected) return 0;
  }

  // A quoted argument after the program decides by itself.
  if (category.IsStopRequested()) return 1;
  std::size_t open = npos;
  if (!w.empty() && w[0] == u'"') {
    const std::size_t close = w.find(u'"', 1);
    if (close != npos) open = w.find(u'"', close + 1);
  } else {
    open = w.find(u'"');
  }
  if (open != npos) {
    const std::size_t close = w.find(u'"', open + 1);
    if (close != npos) {
      const std::u16string_view quoted = w.substr(open + 1, close - open - 1);
      if (FileExists(quoted) >= 0) return 1;
      if (LooksLikePath(quoted)) return IsProtected(quoted) ? Accept(text) : 0;
    }
  }
  return kGoOn;
}

int CFileReferences::JudgeDrivePath(const CCategory& category, std::u16string_view text,
                                    const std::u16string& w, const FileCheckFlags& flags) {
  if (RemovableMediaAccepted()) {
    const std::size_t at = w.find(u":\\");
    const std::u16string root = at > 0 ? w.substr(at - 1, 3) : w.substr(0, 2);
    if (files_.GetDriveTypeW(root) != platform::DRIVE_FIXED) return Accept(text);
  }
  if (files_.PathFileExistsW(w)) return Accept(text);
  // PathFindOnPathW searches bare names only; a drive path is never found by it.

  if (category.IsStopRequested()) return 1;
  int found;
  if (ctx_.Facts().wow64 && (!flags.entryIs32Bit || Contains(w, u"program files"))) {
    found = ExistsInOtherView(w, flags.swapProgramFiles);
  } else {
    found = FileExists(w);
  }
  if (found == 1) return Accept(text);
  if (found < 0) return IsProtected(w) ? Accept(text) : 0;

  // The text from a drive root onward is a folder. W itself is known not to exist here.
  if (Contains(w, u".")) return IsProtected(w) ? 1 : 0;
  if (files_.PathFileExistsW(w + u".exe") || Contains(w, u"\\system32")) return Accept(text);
  return IsProtected(w) ? 1 : 0;
}

int CFileReferences::JudgeBareName(const CCategory& category, std::u16string_view text,
                                   std::u16string w, const FileCheckFlags& flags) {
  if (category.IsStopRequested()) return 1;
  {
    std::u16string found = w;
    // A name found on the path exists.
    if (files_.PathFindOnPathW(&found, nullptr)) return 1;
    std::u16string searched;
    if (files_.SearchPathW(u"", w, platform::PathFindExtensionW(w),
                           static_cast<platform::DWORD>(kLongTextLimit), &searched) != 0) {
      return Accept(text);
    }
  }

  const bool code =
      Contains(w, u".dll") || Contains(w, u".ocx") || Contains(w, u".exe") || Contains(w, u".ax");
  if (!code || Contains(w, u":")) {
    if (flags.checkNetwork && files_.PathIsNetworkPathW(w)) return ExistsOrProtected(w) ? 1 : 0;
    return Accept(text);
  }
  const std::size_t first = w.find(u'\\');
  if (first != npos) {
    if (w.find(u'\\', first + 1) != npos) return Accept(text);
    w.erase(0, first + 1);
  }

  if (Contains(w, u"/")) {
    std::u16string qualified;
    if (files_.PathSearchAndQualifyW(w, &qualified, static_cast<platform::UINT>(kMaxPath))) {
      return FileExists(qualified) >= 0 || IsProtected(qualified) ? 1 : 0;
    }
  }

  if (category.IsStopRequested()) return 1;
  const std::u16string name = CutAfterOwnExtension(w);
  if (AppPathsKnows(name)) return Accept(text);
  const std::u16string inSystem = category.SystemDirectory() + name;
  if (files_.PathFileExistsW(inSystem)) return Accept(text);
  if (ctx_.Facts().wow64 && !category.SystemWow64Directory().empty()) {
    if (ExistsOrProtected(platform::PathJoin(category.SystemWow64Directory(), name))) {
      return Accept(text);
    }
  }
  std::u16string found = name;
  if (files_.PathFindOnPathW(&found, nullptr)) return 1;
  return IsProtected(inSystem) ? 1 : 0;
}

int CFileReferences::JudgeRundll32(const CCategory& category, std::u16string_view text,
                                   const FileCheckFlags& flags, int depth) {
  if (depth >= kMaxRundllDepth) return 1;
  if (text.size() <= 10) return 1;
  const std::u16string head = ToLower(TrimView(text.substr(0, 9)));
  if (!head.starts_with(u"rundll32") && !head.starts_with(u"\"rundll32")) return 1;

  std::u16string command(text);
  ExpandEnvironment(command, std::max(kExpandBuffer, command.size() * 8));

  // "rundll32 shell32.dll,Control_RunDLL C:\x\desk.cpl": the file after the entry point may
  // rescue a call whose DLL part was not found.
  const auto rescuedByEntryArgument = [&] {
    const std::size_t comma = command.find(u',');
    if (comma == npos) return false;
    const std::size_t blank = command.find(u' ', comma + 1);
    const std::size_t nextComma = command.find(u',', comma + 1);
    if (blank == npos || (nextComma != npos && nextComma < blank)) return false;
    std::size_t end = nextComma;
    if (end == npos) end = command.find(u'-', blank + 1);
    const std::u16string_view part =
        std::u16string_view(command).substr(blank + 1, end == npos ? npos : end - blank - 1);
    const std::u16string file = Trim(part);
    return !file.empty() && files_.PathFileExistsW(file);
  };

  std::u16string_view tail = command;
  for (;;) {
    if (category.IsStopRequested()) return 1;
    tail = platform::PathGetArgsW(tail);
    if (tail.empty()) return 1;
    std::u16string judged = ToLower(TrimView(tail));
    if (Contains(judged, u"rundll32")) judged = Trim(platform::PathGetArgsW(judged));
    if (Judge(category, judged, flags, depth + 1) == 1) continue;
    if (!rescuedByEntryArgument()) return 0;
  }
}

// ---------------------------------------------------------------------------------------------

int CFileReferences::Accept(std::u16string_view text) {
  std::lock_guard lock(cacheLock_);
  verdicts_.emplace(text);
  return 1;
}

bool CFileReferences::IsCached(std::u16string_view text) const {
  std::lock_guard lock(cacheLock_);
  return verdicts_.find(text) != verdicts_.end();
}

std::size_t CFileReferences::CachedVerdictCount() const {
  std::lock_guard lock(cacheLock_);
  return verdicts_.size();
}

bool CFileReferences::IsProtected(std::u16string_view path) {
  return system_.SfcIsFileProtected(path) != 0;
}

bool CFileReferences::ExistsOrProtected(std::u16string_view path) {
  return files_.PathFileExistsW(path) || IsProtected(path);
}

bool CFileReferences::RemovableMediaAccepted() const {
  return !removableMediaSetting || removableMediaSetting();
}

bool CFileReferences::ExpandEnvironment(std::u16string& text, std::size_t bufferChars) {
  std::u16string out;
  const platform::DWORD needed =
      files_.ExpandEnvironmentStringsW(text, static_cast<platform::DWORD>(bufferChars), &out);
  if (needed == 0 || needed > bufferChars) return false;
  text = std::move(out);
  return true;
}

const std::vector<std::u16string>& CFileReferences::DriveRoots() {
  std::call_once(drivesOnce_, [this] {
    std::u16string list;
    const platform::DWORD length = files_.GetLogicalDriveStringsW(2048, &list);
    if (length == 0 || length > 2048) return;
    std::replace(list.begin(), list.end(), u'\0', u'#');
    for (std::u16string_view root : SplitAll(list, u'#')) {
      if (!root.empty()) driveRoots_.push_back(ToUpper(root));
    }
  });
  return driveRoots_;
}

int CFileReferences::FileExists(std::u16string_view path) {
  if (path.empty()) return 1;
  const platform::DWORD attributes = files_.GetFileAttributesW(path);
  if (attributes != platform::INVALID_FILE_ATTRIBUTES &&
      (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return 1;
  }
  return FindEmbeddedFile(path);
}

int CFileReferences::FindEmbeddedFile(std::u16string_view text) {
  const std::u16string upper = ToUpper(text);
  for (const std::u16string& root : DriveRoots()) {
    const std::size_t at = upper.find(root);
    if (at == npos) continue;
    const std::u16string_view sub = text.substr(at);
    const platform::DWORD attributes = files_.GetFileAttributesW(sub);
    if (attributes != platform::INVALID_FILE_ATTRIBUTES) {
      return (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    }
    if (FindFileFromRoot(sub, root.size()) == 1) return 1;
  }
  return -1;
}

int CFileReferences::FindFileFromRoot(std::u16string_view sub, std::size_t rootLength) {
  // Ever shorter leading parts, longest first. Parts that cannot name a file are passed over
  // without asking the file system: one that ends in a separator, a blank or a dot names the
  // same file as a shorter part (or none); one whose folder does not exist, or whose last name is
  // longer than a file name can be, names nothing.
  constexpr std::size_t kMaxNameLength = 255;
  std::size_t folderEnd = npos;  // where the last name of the current part starts
  std::size_t knownFolderEnd = npos;
  bool knownFolderExists = false;
  for (std::size_t length = sub.size() - 1; length > rootLength; --length) {
    if (folderEnd == npos || folderEnd > length) {
      folderEnd = length;
      while (folderEnd > 0 && !IsSeparator(sub[folderEnd - 1])) --folderEnd;
    }
    if (length - folderEnd > kMaxNameLength) {
      length = folderEnd + kMaxNameLength + 1;
      continue;
    }
    const std::u16string_view part = sub.substr(0, length);
    const char16_t last = part.back();
    if (IsSeparator(last) || last == u' ' || last == u'.') continue;
    if (IsDeviceName(part)) continue;
    if (folderEnd > rootLength) {
      if (folderEnd != knownFolderEnd) {
        knownFolderEnd = folderEnd;
        knownFolderExists = IsDirectory(part.substr(0, folderEnd - 1));
      }
      if (!knownFolderExists) {
        length = folderEnd;  // the loop steps on to the folder's own name
        continue;
      }
    }
    const platform::DWORD attributes = files_.GetFileAttributesW(part);
    if (attributes != platform::INVALID_FILE_ATTRIBUTES &&
        (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return 1;
    }
  }
  return -1;
}

bool CFileReferences::IsDirectory(std::u16string_view path) {
  const platform::DWORD attributes = files_.GetFileAttributesW(path);
  return attributes != platform::INVALID_FILE_ATTRIBUTES &&
         (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CFileReferences::NamesExistingFolder(std::u16string_view text) {
  std::u16string folder(Trim(text));
  if (folder.size() >= 2 && folder.front() == u'"' && folder.back() == u'"') {
    folder = Trim(std::u16string_view(folder).substr(1, folder.size() - 2));
  }
  if (folder.empty()) return false;
  if (std::count(folder.begin(), folder.end(), u'%') >= 2 && !ExpandEnvironment(folder, 2048)) {
    return false;
  }
  return IsDirectory(folder);
}

bool CFileReferences::IsSkippedFolder(std::u16string_view path) const {
  return skippedFolders_.ContainsAny(path);
}

int CFileReferences::ExistsInOtherView(std::u16string_view path, bool swapProgramFiles) {
  std::u16string lower = ToLower(path);
  std::u16string_view from;
  std::u16string_view to;
  const auto pick = [&](std::u16string_view a, std::u16string_view b) {
    if (Contains(lower, a)) {
      from = a;
      to = b;
    } else if (Contains(lower, b)) {
      from = b;
      to = a;
    }
  };
  if (swapProgramFiles) {
    pick(u"\\program files (x86)\\", u"\\program files\\");
  } else {
    pick(u"\\syswow64\\", u"\\system32\\");
  }
  if (!from.empty()) {
    std::u16string swapped = lower;
    swapped.replace(swapped.find(from), from.size(), to);
    const int found = FileExists(swapped);
    if (found >= 0 && files_.PathFileExistsW(swapped)) return found;
  }
  return FileExists(lower);
}

bool CFileReferences::NamesExistingLocation(std::u16string text) {
  platform::PathUnquoteSpacesW(&text);
  while (!text.empty() && text.back() == u';') text.pop_back();
  if (CountOf(text, u'%') >= 2) ExpandEnvironment(text, kExpandBuffer);
  text = Trim(text);
  return !text.empty() && ExistsOrProtected(text);
}

bool CFileReferences::AppPathsKnows(std::u16string_view fileName) {
  if (TrimView(fileName).empty()) return false;
  const std::u16string key =
      std::u16string(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") +
      std::u16string(fileName);
  std::vector<RegView> views;
  if (ctx_.Facts().wow64) {
    views = {RegView::kWow6432, RegView::kNative};
  } else {
    views = {RegView::kNone};
  }
  for (RegView view : views) {
    for (std::u16string_view valueName : {u"", u"Path"}) {
      std::u16string value;
      if (ReadStringValue(ctx_, platform::HKEY_LOCAL_MACHINE, key, valueName, view, &value) &&
          NamesExistingLocation(std::move(value))) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace bc::engine
