#include "storage/activity_log.h"

#include <algorithm>
#include <vector>

#include "base/format.h"
#include "base/text.h"
#include "platform/system.h"
#include "storage/app_data.h"

namespace bc::storage {

using platform::DWORD;

namespace {

constexpr DWORD kFileAttributeReparsePoint = 0x400;
constexpr std::u16string_view kClosingMark = u"Closing Log\r\n\r\n";

struct ScanResultFile {
  std::u16string name;
  platform::FileTime lastWrite = 0;
};

}  // namespace

std::u16string LogFileName(std::u16string_view folder, const SystemTime& localDate) {
  return Format(u"%s\\log_%02i-%02i-%02i.log", folder, localDate.month, localDate.day,
                localDate.year);
}

CActivityLog::CActivityLog(platform::IPlatform& platform) : platform_(platform) {}

CActivityLog::~CActivityLog() {
  Close();
}

void CActivityLog::AddLine(std::u16string_view text) {
  std::lock_guard lock(dayLogMutex_);
  if (closed_) return;
  if (!prepared_) Prepare();
  WriteNumbered(text);
}

void CActivityLog::Close() {
  std::lock_guard lock(dayLogMutex_);
  closed_ = true;
  CloseFile();
}

std::u16string CActivityLog::FilePath() {
  std::lock_guard lock(dayLogMutex_);
  return file_ != platform::INVALID_HANDLE_VALUE ? path_ : std::u16string();
}

void CActivityLog::Prepare() {
  prepared_ = true;
  nextLine_ = 1;
  const std::u16string folder = ApplicationDataFolder(platform_);
  if (folder.empty()) return;
  KeepNewestLogs(folder);

  platform::SYSTEMTIME now;
  platform_.System().GetLocalTime(&now);
  SystemTime date;
  date.year = now.wYear;
  date.month = now.wMonth;
  date.day = now.wDay;
  const std::u16string path = LogFileName(folder, date);
  if (path == path_ && file_ != platform::INVALID_HANDLE_VALUE) return;
  CloseFile();
  nextLine_ = 1;

  platform::IFileSystem& fs = platform_.Files();
  const platform::HANDLE file = fs.CreateFileW(
      path, platform::GENERIC_WRITE,
      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
      platform::OPEN_ALWAYS, platform::FILE_ATTRIBUTE_NORMAL);
  if (file == platform::INVALID_HANDLE_VALUE) return;
  // Later runs of the same day append.
  if (!fs.SetFilePointerEx(file, 0, nullptr, platform::FILE_END)) {
    fs.CloseHandle(file);
    return;
  }
  file_ = file;
  path_ = path;
}

void CActivityLog::KeepNewestLogs(std::u16string_view folder) {
  platform::IFileSystem& fs = platform_.Files();
  std::vector<ScanResultFile> logs;
  std::u16string pattern(folder);
  pattern += u"\\*.log";
  platform::WIN32_FIND_DATAW found;
  const platform::HANDLE find = fs.FindFirstFileW(pattern, &found);
  if (find == platform::INVALID_HANDLE_VALUE) return;
  do {
    if (found.cFileName == u"." || found.cFileName == u"..") continue;
    if (found.dwFileAttributes & (platform::FILE_ATTRIBUTE_SYSTEM | kFileAttributeReparsePoint))
      continue;
    logs.push_back({found.cFileName, found.ftLastWriteTime});
  } while (fs.FindNextFileW(find, &found));
  fs.FindClose(find);

  if (logs.size() <= kLogFilesKept) return;
  std::stable_sort(logs.begin(), logs.end(), [](const ScanResultFile& a, const ScanResultFile& b) {
    return a.lastWrite > b.lastWrite;
  });
  for (std::size_t i = kLogFilesKept; i < logs.size(); ++i) {
    std::u16string path(folder);
    path += u'\\';
    path += logs[i].name;
    fs.DeleteFileW(path);  // a folder named *.log, or a file in use, stays
  }
}

void CActivityLog::WriteNumbered(std::u16string_view text) {
  if (file_ == platform::INVALID_HANDLE_VALUE || text.empty()) return;
  std::lock_guard lock(writerMutex_);
  const std::u16string line = Format(u"%d   %s\r\n", nextLine_++, text);
  std::vector<std::uint8_t> bytes(line.size() * 2);
  for (std::size_t i = 0; i < line.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(line[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(line[i] >> 8);
  }
  // A failed write loses the line; the log goes on.
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!platform_.Files().WriteFile(file_, bytes.data() + done, chunk, &written) || written == 0)
      break;
    done += written;
  }
}

void CActivityLog::CloseFile() {
  if (file_ == platform::INVALID_HANDLE_VALUE) return;
  WriteNumbered(kClosingMark);
  platform_.Files().CloseHandle(file_);
  file_ = platform::INVALID_HANDLE_VALUE;
}

}  // namespace bc::storage
