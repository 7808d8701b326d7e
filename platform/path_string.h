// Path and command-line text functions of shlwapi, the C runtime and shell32 that look at the
// text only (no file system): usable without a machine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace bc::platform {

inline bool IsPathSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// shlwapi PathGetArgsW: the text after the first blank that is outside quotes (the arguments of
// a command line); the empty tail when there is none.
inline std::u16string_view PathGetArgsW(std::u16string_view path) {
  bool quoted = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == u' ' && !quoted) return path.substr(i + 1);
    if (path[i] == u'"') quoted = !quoted;
  }
  return path.substr(path.size());
}

// shlwapi PathRemoveArgsW: cuts the arguments and the blank before them.
inline void PathRemoveArgsW(std::u16string* path) {
  const std::size_t argsAt = path->size() - PathGetArgsW(*path).size();
  if (argsAt < path->size() || (argsAt > 0 && (*path)[argsAt - 1] == u' ')) {
    path->resize(argsAt - 1);
  }
}

// shlwapi PathIsFileSpecW: true when the path holds neither ":" nor "\".
inline bool PathIsFileSpecW(std::u16string_view path) {
  return path.find_first_of(u":\\") == std::u16string_view::npos;
}

// shlwapi PathUnquoteSpacesW: removes a pair of quotes enclosing the whole text.
inline void PathUnquoteSpacesW(std::u16string* path) {
  if (path->size() >= 2 && path->front() == u'"' && path->back() == u'"') {
    *path = path->substr(1, path->size() - 2);
  }
}

// shlwapi PathQuoteSpacesW: encloses a text that holds a blank in quotes.
inline void PathQuoteSpacesW(std::u16string* path) {
  if (path->find(u' ') != std::u16string::npos) *path = u"\"" + *path + u"\"";
}

// shlwapi PathIsUNCW: "\\server..." (also "\\?\UNC\...").
inline bool PathIsUNCW(std::u16string_view path) {
  return path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\' &&
         !(path.size() >= 4 && path[2] == u'?' && path[3] == u'\\' &&
           !StartsWithNoCase(path.substr(4), u"UNC\\"));
}

// shlwapi PathIsRelativeW: neither rooted ("\...") nor with a drive ("C:...").
inline bool PathIsRelativeW(std::u16string_view path) {
  if (path.empty()) return true;
  if (path[0] == u'\\') return false;
  return !(path.size() >= 2 && path[1] == u':');
}

// shlwapi PathFindFileNameW: the part after the last separator (or after "C:").
inline std::u16string_view PathFindFileNameW(std::u16string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if ((IsPathSeparator(path[i]) || path[i] == u':') && i + 1 < path.size()) start = i + 1;
  }
  return path.substr(start);
}

// shlwapi PathFindExtensionW: from the last "." of the file name (no blank after it), else empty.
inline std::u16string_view PathFindExtensionW(std::u16string_view path) {
  std::size_t dot = std::u16string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsPathSeparator(path[i]) || path[i] == u' ') {
      dot = std::u16string_view::npos;
    } else if (path[i] == u'.') {
      dot = i;
    }
  }
  return dot == std::u16string_view::npos ? path.substr(path.size()) : path.substr(dot);
}

// shlwapi PathAddBackslashW.
inline void PathAddBackslashW(std::u16string* path) {
  if (!path->empty() && path->back() != u'\\') path->push_back(u'\\');
}

// shlwapi PathRemoveFileSpecW: drops the last element ("C:\a\b" -> "C:\a", "C:\a" -> "C:\").
// False when nothing was removed.
inline bool PathRemoveFileSpecW(std::u16string* path) {
  const std::size_t sep = path->find_last_of(u'\\');
  if (sep == std::u16string::npos) {
    if (path->size() >= 2 && (*path)[1] == u':') {
      const bool changed = path->size() > 2;
      path->resize(2);
      return changed;
    }
    const bool changed = !path->empty();
    path->clear();
    return changed;
  }
  std::size_t keep = sep;
  if (sep == 2 && (*path)[1] == u':') keep = 3;   // "C:\a" -> "C:\"
  if (sep == 0) keep = 1;                         // "\a" -> "\"
  if (sep == 1 && (*path)[0] == u'\\') keep = 2;  // "\\server" stays
  const bool changed = keep < path->size();
  path->resize(keep);
  return changed;
}

// Joins a folder and a name with one "\" between them.
inline std::u16string PathJoin(std::u16string_view dir, std::u16string_view name) {
  std::u16string out(dir);
  if (!out.empty() && !IsPathSeparator(out.back()) && !name.empty() &&
      !IsPathSeparator(name.front())) {
    out.push_back(u'\\');
  }
  out += name;
  return out;
}

// The C runtime's _wsplitpath: drive ("C:"), folder (up to and including the last "\" or "/"),
// file name (up to the last "." after the folder) and extension (from that ".").
struct SplitPathResult {
  std::u16string drive;
  std::u16string dir;
  std::u16string fname;
  std::u16string ext;
};
inline SplitPathResult SplitPathW(std::u16string_view path) {
  SplitPathResult r;
  if (path.size() >= 2 && path[1] == u':') {
    r.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  std::size_t nameStart = 0;
  std::size_t dot = std::u16string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsPathSeparator(path[i])) {
      nameStart = i + 1;
    } else if (path[i] == u'.') {
      dot = i;
    }
  }
  r.dir = path.substr(0, nameStart);
  if (dot != std::u16string_view::npos && dot >= nameStart) {
    r.fname = path.substr(nameStart, dot - nameStart);
    r.ext = path.substr(dot);
  } else {
    r.fname = path.substr(nameStart);
  }
  return r;
}

// The name matching of FindFirstFileW: "*" any run, "?" one character, case ignored; "*.*"
// matches every name and a pattern ending in ".*" also matches the name without extension.
inline bool MatchesFilePattern(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*" || pattern == u"*.*") return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
      name.find(u'.') == std::u16string_view::npos &&
      MatchesFilePattern(pattern.substr(0, pattern.size() - 2), name)) {
    return true;
  }
  // Iterative glob with one backtrack point.
  std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || ToLower(pattern[p]) == ToLower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  const bool noExtension = name.find(u'.') == std::u16string_view::npos;
  while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'.')) {
    // A trailing "." matches the end of a name without extension ("abc." matches "abc").
    if (pattern[p] == u'.' && (p + 1 != pattern.size() || !noExtension)) break;
    ++p;
  }
  return p == pattern.size();
}

// shell32 CommandLineToArgvW: the program name runs to the next blank (or between quotes, taken
// literally); the arguments follow the C runtime's quoting: 2n backslashes before a quote give n
// and toggle quoting, 2n+1 give n and a literal quote, "" inside quotes is a literal quote.
inline std::vector<std::u16string> CommandLineToArgvW(std::u16string_view line) {
  std::vector<std::u16string> args;
  std::size_t i = 0;
  const std::size_t n = line.size();
  if (n == 0) return args;
  std::u16string first;
  if (line[0] == u'"') {
    ++i;
    while (i < n && line[i] != u'"') first.push_back(line[i++]);
    if (i < n) ++i;
  } else {
    while (i < n && line[i] != u' ' && line[i] != u'\t') first.push_back(line[i++]);
  }
  args.push_back(first);
  for (;;) {
    while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i >= n) break;
    std::u16string arg;
    bool quoted = false;
    while (i < n) {
      const char16_t c = line[i];
      if (!quoted && (c == u' ' || c == u'\t')) break;
      if (c == u'\\') {
        std::size_t count = 0;
        while (i < n && line[i] == u'\\') {
          ++count;
          ++i;
        }
        if (i < n && line[i] == u'"') {
          arg.append(count / 2, u'\\');
          if (count % 2 == 1) {
            arg.push_back(u'"');
            ++i;
          }
        } else {
          arg.append(count, u'\\');
        }
        continue;
      }
      if (c == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          arg.push_back(u'"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg.push_back(c);
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace bc::platform
