#include "cli/brellum/scan_command.h"

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/text.h"
#include "cli/brellum/session.h"
#include "engine/category.h"
#include "engine/category_table.h"
#include "engine/entry_types.h"
#include "engine/messages.h"
#include "platform/system.h"
#include "storage/results_file.h"

namespace bc::cli {
namespace {

constexpr std::uint32_t kAllCategories = 0x3FFF;

struct ScanOptions {
  std::string machine;
  std::uint32_t mask = kAllCategories;
  bool json = false;
  bool elevated = false;
};

bool ParseMask(std::string_view text, std::uint32_t* mask) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  if (value == 0 || (value & ~kAllCategories) != 0) return false;
  *mask = value;
  return true;
}

// Returns 0 when parsed, else the exit status after printing why.
int ParseOptions(int argc, char** argv, ScanOptions* o) {
  for (int i = 0; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--json") {
      o->json = true;
    } else if (a == "--elevated") {
      o->elevated = true;
    } else if (a == "--machine" || a == "--categories") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "brellum scan: %s needs a value\n", argv[i]);
        return 2;
      }
      const std::string_view v = argv[++i];
      if (a == "--machine") {
        o->machine = v;
      } else if (!ParseMask(v, &o->mask)) {
        std::fprintf(stderr,
                     "brellum scan: --categories wants a mask of bits 0x1-0x2000, not '%s'\n",
                     argv[i]);
        return 2;
      }
    } else {
      std::fprintf(stderr, "brellum scan: unknown option '%s' (try brellum --help)\n", argv[i]);
      return 2;
    }
  }
  if (o->machine.empty()) {
    std::fprintf(stderr, "brellum scan: --machine DIR is required\n");
    return 2;
  }
  return 0;
}

int CountBits(std::uint32_t mask) {
  int n = 0;
  for (; mask != 0; mask &= mask - 1) ++n;
  return n;
}

// Stands in for the scan page and the main window: shows progress on a terminal and wakes the
// command when the scan thread has ended.
class ScanWindow final : public engine::IMessageTarget {
 public:
  ScanWindow(Session& session, bool showProgress)
      : session_(session), showProgress_(showProgress) {}

  void Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) override {
    if (msg != engine::kMsgCategoryStart || !showProgress_) return;
    const auto* info = engine::FindCategory(static_cast<std::uint32_t>(wParam));
    if (!info) return;
    Show(session_.Text(info->nameKey) + u"...");
  }

  void Post(std::uint32_t msg, std::uintptr_t, std::intptr_t) override {
    if (msg == engine::kMsgStatusText) {
      if (showProgress_) Show(session_.Engine().CopyStatusText());
      return;
    }
    if (msg != engine::kMsgScanFinished && msg != engine::kMsgScanStopped) return;
    std::lock_guard lock(mutex_);
    result_ = msg;
    done_.notify_all();
  }

  std::uint32_t WaitForEnd() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return result_ != 0; });
    if (showProgress_) std::fputs("\r\033[K", stderr);
    return result_;
  }

 private:
  void Show(std::u16string_view text) {
    std::string line = Utf16ToUtf8(text.substr(0, 100));
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
  }

  Session& session_;
  bool showProgress_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::uint32_t result_ = 0;
};

SystemTime LocalNow(platform::ISystem& system) {
  platform::SYSTEMTIME t;
  system.GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

// What the scan page does on "scan finished": times, counters, saved results.
void RecordFinishedScan(Session& s) {
  auto& settings = s.Settings();
  const SystemTime now = LocalNow(s.Process().System());
  settings.StrLastScan =
      FormatTime(kDisplayTimeFormat, now, storage::DateNamesFor(s.Localization().LanguageIndex()));
  settings.WriteLastScanTime(now);
  const auto total = s.Controller().TotalProblems();
  settings.StrLastScanResults = Ascii(std::to_string(total));
  storage::SaveProblemsToDisk(s.Controller(), s.AppDataFolder());
  settings.WriteAllSettings();
  settings.RegErrFoundTillDate += static_cast<platform::DWORD>(total);
}

void PrintJson(Session& s) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& info : engine::kCategoryTable) {
    const engine::CCategory* c = s.Controller().GetCategory(info.bit);
    if (!c) continue;
    for (const auto& p : c->Problems()) {
      nlohmann::json texts = nlohmann::json::array();
      for (const auto& t : p->DisplayTexts) texts.push_back(Utf16ToUtf8(t));
      out.push_back({{"category", info.bit},
                     {"entryType", p->EntryType},
                     {"key", Utf16ToUtf8(p->Key)},
                     {"valueName", Utf16ToUtf8(p->ValueName)},
                     {"valueData", Utf16ToUtf8(p->ValueData)},
                     {"alternateKey", Utf16ToUtf8(p->AlternateKey)},
                     {"is32Bit", p->Is32BitEntry},
                     {"displayTexts", std::move(texts)}});
    }
  }
  std::puts(out.dump(2).c_str());
}

void PrintText(Session& s, bool stopped) {
  const auto lookup = [&s](std::u16string_view key) { return s.Text(key); };
  for (const auto& info : engine::kCategoryTable) {
    const engine::CCategory* c = s.Controller().GetCategory(info.bit);
    if (!c || c->Problems().empty()) continue;
    std::printf("%s (%zu)\n", Utf16ToUtf8(s.Text(info.nameKey)).c_str(), c->Problems().size());
    for (const auto& p : c->Problems()) {
      std::printf("  %s\n", Utf16ToUtf8(engine::ProblemDescriptionText(p.get(), lookup)).c_str());
      if (p->DisplayTexts.size() > 1) {
        std::printf("    %s\n", Utf16ToUtf8(p->DisplayTexts[1]).c_str());
      }
    }
  }
  const auto total = s.Controller().TotalProblems();
  std::printf("%s%zu problem%s found.\n", stopped ? "Scan stopped. " : "", total,
              total == 1 ? "" : "s");
}

}  // namespace

int RunScanCommand(int argc, char** argv) {
  ScanOptions o;
  if (const int status = ParseOptions(argc, argv, &o); status != 0) return status;

  std::string error;
  auto session = Session::Start(o.machine, o.elevated, &error);
  if (!session) {
    std::fprintf(stderr, "brellum scan: %s\n", error.c_str());
    return 1;
  }
  auto& controller = session->Controller();
  ScanWindow window(*session, !o.json && isatty(STDERR_FILENO));
  session->Engine().SetMainWindow(&window);
  controller.SetNotifyWindow(&window);
  controller.CreateCategories(o.mask, CountBits(o.mask));
  if (!controller.StartScan()) {
    std::fprintf(stderr, "brellum scan: a scan is already running\n");
    return 1;
  }
  const bool stopped = window.WaitForEnd() == engine::kMsgScanStopped;
  controller.WaitForScanThread();
  session->Engine().SetMainWindow(nullptr);
  controller.SetNotifyWindow(nullptr);

  if (!stopped) RecordFinishedScan(*session);
  if (o.json) {
    PrintJson(*session);
  } else {
    PrintText(*session, stopped);
  }
  return 0;
}

}  // namespace bc::cli
