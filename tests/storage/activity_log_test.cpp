#include "storage/activity_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/format.h"
#include "platform/files.h"
#include "storage/app_data.h"
#include "tests/storage/storage_machine.h"

namespace bc::storage {
namespace {

using testing::StorageMachine;

constexpr std::u16string_view kLogFolder =
    u"C:\\Users\\Alice\\AppData\\Roaming\\Tessaly Works\\Brellum Corvane\\Version 1";

std::u16string Utf16Le(const std::string& bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return s;
}

std::u16string ReadLog(platform::IFileSystem& fs, std::u16string_view path) {
  std::string bytes;
  if (!platform::ReadWholeFile(fs, path, &bytes)) return u"<unreadable>";
  return Utf16Le(bytes);
}

TEST(ActivityLog, FileNameIsMonthDayAndFullYear) {
  struct Case {
    int y, m, d;
    std::u16string_view want;
  };
  const Case cases[] = {{2026, 12, 9, u"F\\log_12-09-2026.log"},
                        {2027, 1, 5, u"F\\log_01-05-2027.log"},
                        {1999, 10, 31, u"F\\log_10-31-1999.log"}};
  for (const Case& c : cases) {
    SystemTime t;
    t.year = static_cast<std::uint16_t>(c.y);
    t.month = static_cast<std::uint16_t>(c.m);
    t.day = static_cast<std::uint16_t>(c.d);
    EXPECT_EQ(LogFileName(u"F", t), c.want);
  }
}

TEST(ActivityLog, RunsOfOneDayAppendNumberedLinesToOneFile) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  const std::u16string path = std::u16string(kLogFolder) + u"\\log_12-09-2026.log";
  {
    auto p = m.Start();
    CActivityLog log(*p);
    log.AddLine(u"Invalid Entry Found :\r\n EntryType:1");
    log.AddLine(u"");  // not written, no number used
    log.AddLine(u"second");
    EXPECT_EQ(log.FilePath(), path);
  }
  {
    auto p = m.Start();
    CActivityLog log(*p);
    log.AddLine(u"next run");
  }
  auto p = m.Start();
  EXPECT_EQ(ReadLog(p->Files(), path),
            u"1   Invalid Entry Found :\r\n EntryType:1\r\n"
            u"2   second\r\n"
            u"3   Closing Log\r\n\r\n\r\n"
            u"1   next run\r\n"
            u"2   Closing Log\r\n\r\n\r\n");
}

TEST(ActivityLog, TheLocalDateNamesTheFile) {
  // 23:30 UTC is already the next day one hour east of Greenwich.
  StorageMachine m(testing::kDecember9th2026 + 13 * 3600 + 1800, 60);
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  CActivityLog log(*p);
  EXPECT_EQ(log.FilePath(), u"");  // nothing is opened before the first line
  log.AddLine(u"x");
  EXPECT_EQ(log.FilePath(), std::u16string(kLogFolder) + u"\\log_12-10-2026.log");
}

// Old entries named *.log, oldest first; a name ending in "/" is a folder.
TEST(ActivityLog, KeepsTheFiveNewestLogsBeforeTheFirstLine) {
  struct Case {
    const char* what;
    std::vector<std::string> old;         // oldest first
    std::set<std::string> wantRemaining;  // besides today's file
  };
  const Case cases[] = {
      {"seven files",
       {"a.log", "b.log", "c.log", "d.log", "e.log", "f.log", "g.log"},
       {"c.log", "d.log", "e.log", "f.log", "g.log"}},
      {"four files", {"a.log", "b.log", "c.log", "d.log"}, {"a.log", "b.log", "c.log", "d.log"}},
      {"an old folder named .log cannot be deleted",
       {"dir.log/", "a.log", "b.log", "c.log", "d.log", "e.log"},
       {"dir.log/", "a.log", "b.log", "c.log", "d.log", "e.log"}},
      {"other files are not logs",
       {"notes.txt", "a.log", "b.log"},
       {"notes.txt", "a.log", "b.log"}},
  };
  for (const Case& c : cases) {
    StorageMachine m;
    ASSERT_TRUE(m.Ok());
    auto p = m.Start();
    const std::u16string folder = ApplicationDataFolder(*p);
    ASSERT_EQ(folder, kLogFolder);
    const std::filesystem::path host = m.Host(folder);
    auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    for (const std::string& name : c.old) {
      if (name.back() == '/') {
        std::filesystem::create_directory(host / name.substr(0, name.size() - 1));
        std::filesystem::last_write_time(host / name.substr(0, name.size() - 1), when);
      } else {
        ASSERT_TRUE(platform::WriteWholeFile(p->Files(), folder + u"\\" + Ascii(name), "x"));
        std::filesystem::last_write_time(host / name, when);
      }
      when += std::chrono::hours(24);
    }
    m.Machine().Files().ForgetListings();

    CActivityLog log(*p);
    log.AddLine(u"first line");
    std::set<std::string> remaining;
    for (const auto& e : std::filesystem::directory_iterator(host)) {
      const std::string name = e.path().filename().string();
      if (name != "log_12-09-2026.log") remaining.insert(name + (e.is_directory() ? "/" : ""));
    }
    EXPECT_EQ(remaining, c.wantRemaining) << c.what;
    EXPECT_TRUE(std::filesystem::exists(host / "log_12-09-2026.log")) << c.what;
  }
}

TEST(ActivityLog, LinesFromManyThreadsStayWholeAndNumbered) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  constexpr int kThreads = 4, kLines = 100;
  {
    CActivityLog log(*p);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&log, t] {
        for (int i = 0; i < kLines; ++i) log.AddLine(Format(u"thread %d line %d", t, i));
      });
    for (auto& t : threads) t.join();
  }
  const std::u16string text =
      ReadLog(p->Files(), std::u16string(kLogFolder) + u"\\log_12-09-2026.log");
  std::set<std::u16string> seen;
  std::size_t pos = 0;
  for (int n = 1; n <= kThreads * kLines; ++n) {
    const std::size_t end = text.find(u"\r\n", pos);
    ASSERT_NE(end, std::u16string::npos);
    const std::u16string line = text.substr(pos, end - pos);
    const std::u16string prefix = Format(u"%d   thread ", n);
    ASSERT_EQ(line.substr(0, prefix.size()), prefix) << Utf16ToUtf8(line);
    seen.insert(line.substr(Format(u"%d   ", n).size()));
    pos = end + 2;
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
  EXPECT_EQ(text.substr(pos), Format(u"%d   Closing Log\r\n\r\n\r\n", kThreads * kLines + 1));
}

TEST(ActivityLog, WithoutAFolderLinesAreDroppedQuietly) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  // A file where the vendor folder should be.
  ASSERT_TRUE(platform::WriteWholeFile(
      p->Files(), u"C:\\Users\\Alice\\AppData\\Roaming\\Tessaly Works", "in the way"));
  CActivityLog log(*p);
  log.AddLine(u"lost");
  log.AddLine(u"lost too");
  EXPECT_EQ(log.FilePath(), u"");
}

}  // namespace
}  // namespace bc::storage
