// Does registry data refer to something that exists? Registry data is rarely a clean path: a
// command line, a quoted path, environment variables, a "rundll32" call, a resource reference,
// a URL, an assembly identity, a wildcard, a bare name on the search path, or a System32 path that
// a 32-bit process sees redirected. The verdict leans towards "present" whenever the text cannot
// be understood: a cleaner must never remove what it cannot prove dead.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/skip_lists.h"

namespace bc::platform {
class IFileSystem;
class ISystem;
}  // namespace bc::platform

namespace bc::engine {

class CCategory;
class EngineContext;

// The seven options of FileReferenceIsValid, in their order.
struct FileCheckFlags {
  bool checkExtras = false;       // the file skip list exempts a text
  bool useFolderSkips = false;    // the skipped-folder fragments exempt a text
  bool passThrough = false;       // handed on to the "rundll32" handler only
  bool entryIs32Bit = false;      // 64-bit Windows: other-view test only for "program files" paths
  bool swapProgramFiles = false;  // other view swaps the program folders, not System32/SysWOW64
  bool commandLine = false;       // arguments of a command line may name files too
  bool checkNetwork = false;      // network paths are tested rather than accepted
};

// The combinations the categories use.
inline constexpr FileCheckFlags kCheckCommon{true, true, true, false, false, false, false};
inline constexpr FileCheckFlags kCheckPlain{false, false, true, false, false, false, false};
inline constexpr FileCheckFlags kCheckNothingSkipped{};
inline constexpr FileCheckFlags kCheckCommand{true, true, true, false, false, true, true};
inline constexpr FileCheckFlags kCheckCommandRetry{true, true, true, false, false, true, false};
inline constexpr FileCheckFlags kCheckInprocServerNative{true, true,  true, true,
                                                         true, false, false};

// Text-only helpers.
// True when the path has more than 4 characters and ends with a device name ("\CON", "\LPT1"...).
bool IsDeviceName(std::u16string_view path);
// Cuts everything after the first occurrence of extension (lower-case, e.g. ".dll") in path when
// it occurs at a position above 0, ignoring case, and something follows it. True when it cut.
bool CutAfterExtension(std::u16string_view extension, std::u16string& path);
// Steps 1-7 of ExtractFilePath: everything but the environment expansion.
std::u16string ExtractFilePathText(std::u16string_view command);

// File-reference validation of one engine context: the verdict cache (accepted texts, never
// cleared), the drive list and the fragment lists, built once. Safe to call from the scan thread
// while other threads only read the settings hook.
class CFileReferences {
 public:
  CFileReferences(EngineContext& ctx, const CSkipLists& skipLists);
  CFileReferences(const CFileReferences&) = delete;
  CFileReferences& operator=(const CFileReferences&) = delete;

  // SetChkREmovableMedia: when on, paths on drives that are not fixed disks are accepted without
  // a test. Empty: on (its default).
  std::function<bool()> removableMediaSetting;

  // 1 (it exists, or cannot be tested) or 0 (missing).
  int FileReferenceIsValid(const CCategory& category, std::u16string_view text,
                           const FileCheckFlags& flags);
  int FileReferenceIsValid(const CCategory& category, std::u16string_view text, bool checkExtras,
                           bool useFolderSkips, bool passThrough, bool entryIs32Bit,
                           bool swapProgramFiles, bool commandLine, bool checkNetwork) {
    return FileReferenceIsValid(
        category, text,
        FileCheckFlags{checkExtras, useFolderSkips, passThrough, entryIs32Bit, swapProgramFiles,
                       commandLine, checkNetwork});
  }

  // The file a command line starts.
  std::u16string ExtractFilePath(std::u16string_view command);

  // 1 when the path is empty or names an existing file, else FindEmbeddedFile's answer.
  int FileExists(std::u16string_view path);
  // Looks for a file in the text from each drive root it contains: 1 a file, 0 the text from the
  // root is a folder, -1 nothing.
  int FindEmbeddedFile(std::u16string_view text);
  bool IsDirectory(std::u16string_view path);
  // True when the text, trimmed, unquoted and with its environment variables expanded, is an
  // existing folder. For data that names a folder rather than a command: ExtractFilePath would
  // cut a folder name at its first space.
  bool NamesExistingFolder(std::u16string_view text);
  // True when the lower-cased path contains one of the skipped-folder fragments.
  bool IsSkippedFolder(std::u16string_view path) const;
  // Tests a path as the other view of 64-bit Windows sees it (System32/SysWOW64, or the program
  // folders), then as given: FileExists's answers.
  int ExistsInOtherView(std::u16string_view path, bool swapProgramFiles);
  // The App Paths key of HKEY_LOCAL_MACHINE names an existing or protected file (default value)
  // or location ("Path") for this file name.
  bool AppPathsKnows(std::u16string_view fileName);

  // The drive roots as GetLogicalDriveStringsW lists them ("C:\", "D:\").
  const std::vector<std::u16string>& DriveRoots();
  std::size_t CachedVerdictCount() const;

 private:
  int Judge(const CCategory& category, std::u16string_view text, const FileCheckFlags& flags,
            int depth);
  int JudgeUncached(const CCategory& category, std::u16string_view text,
                    const FileCheckFlags& flags, int depth);
  int JudgeCommandLine(const CCategory& category, std::u16string_view text, std::u16string_view w);
  int JudgeDrivePath(const CCategory& category, std::u16string_view text, const std::u16string& w,
                     const FileCheckFlags& flags);
  int JudgeBareName(const CCategory& category, std::u16string_view text, std::u16string w,
                    const FileCheckFlags& flags);
  int JudgeRundll32(const CCategory& category, std::u16string_view text,
                    const FileCheckFlags& flags, int depth);
  int Accept(std::u16string_view text);
  bool IsCached(std::u16string_view text) const;
  // FindEmbeddedFile's search of the leading parts of the text from one drive root.
  int FindFileFromRoot(std::u16string_view sub, std::size_t rootLength);
  bool IsProtected(std::u16string_view path);
  bool ExistsOrProtected(std::u16string_view path);
  bool RemovableMediaAccepted() const;
  bool ExpandEnvironment(std::u16string& text, std::size_t bufferChars);
  bool NamesExistingLocation(std::u16string text);

  EngineContext& ctx_;
  const CSkipLists& skipLists_;
  platform::IFileSystem& files_;
  platform::ISystem& system_;
  FragmentMatcher skippedFolders_;

  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view s) const noexcept {
      return std::hash<std::u16string_view>{}(s);
    }
  };
  mutable std::mutex cacheLock_;
  std::unordered_set<std::u16string, TextHash, std::equal_to<>> verdicts_;

  std::once_flag drivesOnce_;
  std::vector<std::u16string> driveRoots_;
};

}  // namespace bc::engine
