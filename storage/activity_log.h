// The daily activity log: one UTF-16 file per day in the application-data folder, numbered lines,
// the five newest files kept. One CActivityLog lives in the program's context and serves every
// thread.
//
// The file is chosen by the first line of the process (a process that runs past midnight keeps
// writing the file of its first day); until then nothing is opened. When the folder or the file
// cannot be opened, every line is dropped and the program goes on.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace bc::storage {

// Log files kept by the clean-up that runs before the first line of a process.
inline constexpr std::size_t kLogFilesKept = 5;

// "<folder>\log_MM-DD-YYYY.log" for a local date.
std::u16string LogFileName(std::u16string_view folder, const SystemTime& localDate);

class CActivityLog {
 public:
  explicit CActivityLog(platform::IPlatform& platform);
  ~CActivityLog();  // writes the closing mark
  CActivityLog(const CActivityLog&) = delete;
  CActivityLog& operator=(const CActivityLog&) = delete;

  // Writes "<number>   <text>\r\n". Empty texts are not written and use no number.
  void AddLine(std::u16string_view text);

  // Writes the closing mark and closes the file; later lines are dropped.
  void Close();

  // The path of the open file; empty before the first line or when it could not be opened.
  std::u16string FilePath();

 private:
  void Prepare();                                   // first line of the process
  void KeepNewestLogs(std::u16string_view folder);  // retention
  void WriteNumbered(std::u16string_view text);     // the writer, under writerMutex_
  void CloseFile();

  platform::IPlatform& platform_;
  std::mutex dayLogMutex_;  // the whole entry point; always taken before writerMutex_
  std::mutex writerMutex_;  // one line at a time
  bool prepared_ = false;
  bool closed_ = false;
  platform::HANDLE file_ = platform::INVALID_HANDLE_VALUE;
  std::u16string path_;
  std::uint64_t nextLine_ = 1;
};

}  // namespace bc::storage
