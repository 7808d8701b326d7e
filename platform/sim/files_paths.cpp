#include "platform/sim/files_paths.h"

#include "base/text.h"
#include "platform/files.h"
#include "platform/path_string.h"

namespace bc::platform::sim {
namespace {

bool IsDriveLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Applies ".", ".." and the trailing dot/blank rule to the names after a root.
std::u16string NormalizeTail(std::u16string_view root, std::u16string_view tail) {
  std::vector<std::u16string> parts;
  std::size_t i = 0;
  bool trailing = false;
  while (i < tail.size()) {
    std::size_t j = i;
    while (j < tail.size() && !IsPathSeparator(tail[j])) ++j;
    std::u16string name(tail.substr(i, j - i));
    trailing = j < tail.size();
    i = j + 1;
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
    if (name.empty()) continue;
    parts.push_back(std::move(name));
  }
  std::u16string out(root);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) out.push_back(u'\\');
    out += parts[k];
  }
  if (trailing && !parts.empty()) out.push_back(u'\\');
  return out;
}

}  // namespace

std::optional<std::u16string> FullPathName(std::u16string_view path,
                                           std::u16string_view currentDirectory, LSTATUS* error) {
  if (path.empty()) {
    *error = ERROR_INVALID_NAME;
    return std::nullopt;
  }
  if (path.size() >= 4 && path.substr(0, 4) == u"\\\\?\\") return std::u16string(path);
  std::u16string p(path);
  for (auto& c : p) {
    if (c == u'/') c = u'\\';
  }
  if (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') {
    // UNC: "\\server\share" is the root.
    std::size_t server = p.find(u'\\', 2);
    if (server == std::u16string::npos) return p;
    std::size_t share = p.find(u'\\', server + 1);
    if (share == std::u16string::npos) return p;
    return NormalizeTail(p.substr(0, share + 1), std::u16string_view(p).substr(share + 1));
  }
  std::u16string cwd(currentDirectory);
  if (cwd.size() < 2 || cwd[1] != u':') cwd = u"C:\\";
  if (p.size() >= 2 && p[1] == u':' && IsDriveLetter(p[0])) {
    std::u16string root{ToUpper(p[0]), u':', u'\\'};
    std::u16string_view rest = std::u16string_view(p).substr(2);
    if (!rest.empty() && rest[0] == u'\\') return NormalizeTail(root, rest.substr(1));
    // "C:x": relative to the current folder when it is on that drive.
    if (ToUpper(cwd[0]) == ToUpper(p[0])) {
      return NormalizeTail(root, std::u16string(cwd.substr(3)) + u"\\" + std::u16string(rest));
    }
    return NormalizeTail(root, rest);
  }
  std::u16string root{ToUpper(cwd[0]), u':', u'\\'};
  if (p[0] == u'\\') return NormalizeTail(root, std::u16string_view(p).substr(1));
  return NormalizeTail(root, cwd.substr(3) + u"\\" + p);
}

std::u16string DrivePath::ToString() const {
  std::u16string out{drive, u':', u'\\'};
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) out.push_back(u'\\');
    out += parts[k];
  }
  return out;
}

bool IsReservedDeviceName(std::u16string_view name) {
  const std::u16string base = ToUpper(SplitFirst(name, u'.').head);
  std::u16string_view b = TrimView(base);
  if (b == u"CON" || b == u"PRN" || b == u"AUX" || b == u"NUL") return true;
  if (b.size() == 4 && (b.substr(0, 3) == u"COM" || b.substr(0, 3) == u"LPT") && b[3] >= u'1' &&
      b[3] <= u'9') {
    return true;
  }
  return false;
}

std::optional<DrivePath> SplitDrivePath(std::u16string_view fullPath, bool wildcardsInLast,
                                        LSTATUS* error) {
  std::u16string_view p = fullPath;
  const bool literal = p.size() >= 4 && p.substr(0, 4) == u"\\\\?\\";
  if (literal) {
    p.remove_prefix(4);
    if (StartsWithNoCase(p, u"UNC\\")) {
      *error = ERROR_BAD_NETPATH;
      return std::nullopt;
    }
  } else if (p.size() > MAX_PATH - 1) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return std::nullopt;
  }
  if (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') {
    *error = (p.size() >= 3 && (p[2] == u'.' || p[2] == u'?')) ? ERROR_PATH_NOT_FOUND
                                                               : ERROR_BAD_NETPATH;
    return std::nullopt;
  }
  if (p.size() < 2 || p[1] != u':' || !IsDriveLetter(p[0]) ||
      (p.size() > 2 && !IsPathSeparator(p[2]))) {
    *error = ERROR_INVALID_NAME;
    return std::nullopt;
  }
  DrivePath out;
  out.drive = ToUpper(p[0]);
  std::u16string_view rest = p.size() > 3 ? p.substr(3) : std::u16string_view();
  std::size_t i = 0;
  while (i < rest.size()) {
    std::size_t j = i;
    while (j < rest.size() && !IsPathSeparator(rest[j])) ++j;
    std::u16string_view name = rest.substr(i, j - i);
    const bool last = j >= rest.size() || j + 1 >= rest.size();
    if (j < rest.size() && j + 1 >= rest.size()) out.trailingSeparator = true;
    i = j + 1;
    if (name.empty()) continue;
    // Even a literal ("\\?\") path cannot name "." or "..": no file system has such a file.
    if (name == u"." || name == u"..") {
      *error = ERROR_INVALID_NAME;
      return std::nullopt;
    }
    for (char16_t c : name) {
      const bool wildcard = c == u'*' || c == u'?';
      if (c < 32 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
          (wildcard && !(wildcardsInLast && last))) {
        *error = ERROR_INVALID_NAME;
        return std::nullopt;
      }
    }
    if (IsReservedDeviceName(name)) {
      *error = ERROR_FILE_NOT_FOUND;
      return std::nullopt;
    }
    out.parts.emplace_back(name);
  }
  return out;
}

DrivePath WindowsFolderPath(const MachineDescriptor& d) {
  LSTATUS e = 0;
  auto p = SplitDrivePath(d.WindowsDirectory(), false, &e);
  return p ? *p : DrivePath{u'C', {u"Windows"}, false};
}

bool RedirectForWow64(const MachineDescriptor& d, DrivePath* path) {
  if (!d.Is64Bit()) return false;
  const DrivePath win = WindowsFolderPath(d);
  if (path->drive != win.drive || path->parts.size() <= win.parts.size()) return false;
  for (std::size_t i = 0; i < win.parts.size(); ++i) {
    if (!EqualsNoCase(path->parts[i], win.parts[i])) return false;
  }
  auto& parts = path->parts;
  const std::size_t k = win.parts.size();  // first name below the Windows folder
  const auto at = [&](std::size_t i) -> std::u16string_view {
    return i < parts.size() ? std::u16string_view(parts[i]) : std::u16string_view();
  };
  if (EqualsNoCase(at(k), u"Sysnative")) {
    parts[k] = u"System32";
    return true;
  }
  if (EqualsNoCase(at(k), u"regedit.exe") && parts.size() == k + 1) {
    parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(k), u"SysWOW64");
    return true;
  }
  std::size_t sys = k;
  if (EqualsNoCase(at(k), u"lastgood") && EqualsNoCase(at(k + 1), u"system32")) sys = k + 1;
  if (!EqualsNoCase(at(sys), u"System32")) return false;
  if (sys == k) {
    const std::u16string_view below = at(k + 1);
    const bool win7 = d.version.major == 6 && d.version.minor >= 1;
    if (EqualsNoCase(below, u"catroot") || EqualsNoCase(below, u"catroot2") ||
        EqualsNoCase(below, u"logfiles") || EqualsNoCase(below, u"spool") ||
        (win7 && EqualsNoCase(below, u"driverstore")) ||
        (EqualsNoCase(below, u"drivers") && EqualsNoCase(at(k + 2), u"etc"))) {
      return false;
    }
  }
  parts[sys] = u"SysWOW64";
  return true;
}

}  // namespace bc::platform::sim
