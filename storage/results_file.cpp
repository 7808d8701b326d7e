#include "storage/results_file.h"

#include <new>
#include <string>
#include <utility>

#include "base/archive.h"
#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/reg_keys.h"
#include "engine/reg_paths.h"
#include "engine/scan_controller.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "storage/app_data.h"
#include "storage/settings.h"

namespace bc::storage {

namespace {

using engine::CProblem;

// EntryType, Selected, four one-byte-length strings, Is32BitEntry and a two-byte line count.
constexpr std::size_t kMinRecordBytes = 4 + 4 + 4 * kMinArchiveStringBytes + 4 + 2;

// Entry types kept without their default value being checked: an application path whose
// program is missing and a verb command naming a missing file record data that is not the
// default value's text.
constexpr std::int32_t kAppPathType = 13;
constexpr std::int32_t kVerbCommandType = 21;
// An uninstall entry reported under the name of the uninstall value it lacks.
constexpr std::int32_t kUninstallEntryType = 36;

void WriteProblem(ArchiveWriter& out, const CProblem& p) {
  out.WriteI32(p.EntryType);
  out.WriteU32(static_cast<std::uint32_t>(p.Selected));
  out.WriteString(p.Key);
  out.WriteString(p.ValueName);
  out.WriteString(p.ValueData);
  out.WriteString(p.AlternateKey);
  out.WriteU32(static_cast<std::uint32_t>(p.Is32BitEntry));
  out.WriteCount(static_cast<std::uint32_t>(p.DisplayTexts.size()));
  for (const std::u16string& line : p.DisplayTexts) out.WriteString(line);
}

std::unique_ptr<CProblem> ReadProblem(ArchiveReader& in) {
  auto p = std::make_unique<CProblem>();
  p->EntryType = in.ReadI32();
  p->Selected = static_cast<std::int32_t>(in.ReadU32());
  p->Key = in.ReadString();
  p->ValueName = in.ReadString();
  p->ValueData = in.ReadString();
  p->AlternateKey = in.ReadString();
  p->Is32BitEntry = static_cast<std::int32_t>(in.ReadU32());
  const std::uint32_t lines = in.ReadCount(kMinArchiveStringBytes);
  p->DisplayTexts.reserve(lines);
  for (std::uint32_t i = 0; i < lines; ++i) p->DisplayTexts.push_back(in.ReadString());
  return p;
}

std::u16string ResultsPath(std::u16string_view folder) {
  std::u16string path(folder);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  path += kResultsFileName;
  return path;
}

enum class ReadOutcome { kCannotOpen, kFailed, kRead };

ReadOutcome ReadFileBytes(platform::IFileSystem& fs, std::u16string_view path,
                          std::vector<std::uint8_t>* bytes) {
  platform::FileHandle file(fs,
                            fs.CreateFileW(path, platform::GENERIC_READ, platform::FILE_SHARE_READ,
                                           platform::OPEN_EXISTING, 0));
  if (!file.valid()) return ReadOutcome::kCannotOpen;
  std::uint8_t buffer[4096];
  for (;;) {
    platform::DWORD got = 0;
    if (!fs.ReadFile(file.get(), buffer, sizeof buffer, &got)) return ReadOutcome::kFailed;
    if (got == 0) return ReadOutcome::kRead;
    bytes->insert(bytes->end(), buffer, buffer + std::min<platform::DWORD>(got, sizeof buffer));
  }
}

}  // namespace

std::vector<std::uint8_t> EncodeResultsFile(const engine::CScanController& controller) {
  ArchiveWriter out;
  out.WriteU32(static_cast<std::uint32_t>(controller.TotalProblems()));
  for (const engine::CategoryInfo& info : engine::kCategoryTable) {
    const engine::CCategory* category = controller.GetCategory(info.bit);
    if (category == nullptr) {
      out.WriteU32(0);
      continue;
    }
    out.WriteU32(static_cast<std::uint32_t>(category->ProblemCount()));
    for (const auto& p : category->Problems()) WriteProblem(out, *p);
  }
  return out.Take();
}

std::vector<std::uint8_t> EncodeResultsFile(const ResultsFileContents& contents) {
  ArchiveWriter out;
  out.WriteU32(contents.total);
  for (const auto& block : contents.blocks) {
    out.WriteU32(static_cast<std::uint32_t>(block.size()));
    for (const auto& p : block) WriteProblem(out, *p);
  }
  return out.Take();
}

std::optional<ResultsFileContents> DecodeResultsFile(std::span<const std::uint8_t> bytes) {
  try {
    ArchiveReader in(bytes);
    ResultsFileContents contents;
    contents.total = in.ReadU32();
    for (auto& block : contents.blocks) {
      const std::uint32_t count = in.ReadU32();
      if (count > in.remaining() / kMinRecordBytes) {
        throw ArchiveError("results block count exceeds the file");
      }
      block.reserve(count);
      for (std::uint32_t i = 0; i < count; ++i) block.push_back(ReadProblem(in));
    }
    return contents;
  } catch (const ArchiveError&) {
    return std::nullopt;
  }
}

bool SavedProblemStillPresent(engine::EngineContext& ctx, const CProblem& p) {
  platform::REGSAM access = engine::kWriteAccess;
  if (engine::IsWow64(ctx)) {
    access |= p.Is32BitEntry == 1 ? platform::KEY_WOW64_32KEY : platform::KEY_WOW64_64KEY;
  }
  // Shortcut findings carry a file path here.
  const auto split = engine::SplitFullPath(p.Key);
  if (!split) return true;

  engine::OpenedKey key(ctx.Registry());
  if (engine::OpenKey(access, split->subKey, split->root, key) != platform::ERROR_SUCCESS) {
    return false;
  }
  if (p.ValueName.empty()) {
    if (p.ValueData.empty()) return true;
    if (p.EntryType == kAppPathType || p.EntryType == kVerbCommandType) return true;
    std::u16string text;
    engine::QueryStringValue(ctx.Registry(), key.get(), u"", &text);
    return EqualsNoCase(TrimView(text), TrimView(p.ValueData));
  }
  if (p.EntryType == kUninstallEntryType) return true;
  platform::DWORD size = 0;
  return ctx.Registry().RegQueryValueExW(key.get(), p.ValueName, nullptr, nullptr, &size) ==
         platform::ERROR_SUCCESS;
}

void SaveProblemsToDisk(engine::CScanController& controller, std::u16string_view folder) {
  engine::EngineContext& ctx = controller.Context();
  platform::IFileSystem& fs = ctx.Platform().Files();
  const std::u16string path = ResultsPath(folder);
  std::vector<std::uint8_t> bytes;
  try {
    bytes = EncodeResultsFile(controller);
  } catch (const std::bad_alloc&) {
    ctx.WriteLogLine(u"SaveProblemsToDisk catch #2 : " + path);
    fs.DeleteFileW(path);
    return;
  }
  platform::FileHandle file(
      fs, fs.CreateFileW(path, platform::GENERIC_WRITE, 0, platform::CREATE_ALWAYS,
                         platform::FILE_ATTRIBUTE_NORMAL));
  if (!file.valid()) {
    ctx.WriteLogLine(u"SaveProblemsToDisk unable to open file : " + path);
    return;
  }
  std::span<const std::uint8_t> rest(bytes);
  while (!rest.empty()) {
    const auto chunk = static_cast<platform::DWORD>(std::min<std::size_t>(rest.size(), 1u << 20));
    platform::DWORD put = 0;
    if (!fs.WriteFile(file.get(), rest.data(), chunk, &put) || put == 0) {
      // The partly written file stays; the next load finds it damaged and removes it.
      ctx.WriteLogLine(u"SaveProblemsToDisk mein failed");
      return;
    }
    rest = rest.subspan(std::min<std::size_t>(put, rest.size()));
  }
}

ResultsLoadOutcome LoadProblemsFromDisk(engine::CScanController& controller,
                                        std::u16string_view folder, CSettings* settings) {
  engine::EngineContext& ctx = controller.Context();
  platform::IFileSystem& fs = ctx.Platform().Files();
  const std::u16string path = ResultsPath(folder);
  ResultsLoadOutcome outcome;
  if (controller.IsScanThreadRunning()) {
    outcome.status = ResultsLoad::kBusy;
    return outcome;
  }

  std::vector<std::uint8_t> bytes;
  const ReadOutcome read = ReadFileBytes(fs, path, &bytes);
  if (read == ReadOutcome::kCannotOpen &&
      fs.GetFileAttributesW(path) == platform::INVALID_FILE_ATTRIBUTES) {
    return outcome;  // nothing saved
  }
  std::optional<ResultsFileContents> contents;
  if (read == ReadOutcome::kRead) contents = DecodeResultsFile(bytes);

  if (!contents) {
    fs.DeleteFileW(path);
    controller.CreateCategoriesUnattached(engine::kAllCategories);  // fresh, empty lists
    outcome.status = ResultsLoad::kDamaged;
    return outcome;
  }

  controller.CreateCategoriesUnattached(engine::kAllCategories);
  for (const engine::CategoryInfo& info : engine::kCategoryTable) {
    engine::CCategory* category = controller.GetCategory(info.bit);
    for (auto& problem : contents->blocks[static_cast<std::size_t>(info.index)]) {
      problem->UndoRecorder = controller.UndoRecorder();
      if (category != nullptr && SavedProblemStillPresent(ctx, *problem)) {
        category->AdoptProblem(std::move(problem));
      }
    }
  }
  outcome.status = ResultsLoad::kLoaded;
  outcome.previousTotal = contents->total;

  if (settings != nullptr) {
    const std::size_t kept = controller.TotalProblems();
    settings->StrLastScanResults = Ascii(std::to_string(kept));
    settings->WriteLastScanCount(static_cast<int>(kept));
  }
  return outcome;
}

void SaveProblemsToDisk(engine::CScanController& controller) {
  const std::u16string folder = ApplicationDataFolder(controller.Context().Platform());
  if (!folder.empty()) SaveProblemsToDisk(controller, folder);
}

ResultsLoadOutcome LoadProblemsFromDisk(engine::CScanController& controller, CSettings* settings) {
  const std::u16string folder = ApplicationDataFolder(controller.Context().Platform());
  if (folder.empty()) return {};
  return LoadProblemsFromDisk(controller, folder, settings);
}

}  // namespace bc::storage
