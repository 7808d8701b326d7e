// The saved results of the last scan, "results.dvn" in the application-data folder: written when
// a scan or cleaning run ends and when the program exits, read back at start-up with every
// problem checked against the current registry.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/category_table.h"
#include "engine/problem.h"

namespace bc::engine {
class CScanController;
class EngineContext;
}  // namespace bc::engine

namespace bc::storage {

class CSettings;

inline constexpr std::u16string_view kResultsFileName = u"results.dvn";

// The file's contents: the total written in the header, then one block of problems per
// category, in bit order (index i holds the problems of bit 1 << i).
struct ResultsFileContents {
  std::uint32_t total = 0;
  std::array<std::vector<std::unique_ptr<engine::CProblem>>, engine::kCategoryCount> blocks;
};

// Encodes the controller's problems (a category without an object gives an empty block).
std::vector<std::uint8_t> EncodeResultsFile(const engine::CScanController& controller);
std::vector<std::uint8_t> EncodeResultsFile(const ResultsFileContents& contents);
// nullopt when the bytes are truncated or malformed. Bytes after the last block are ignored.
std::optional<ResultsFileContents> DecodeResultsFile(std::span<const std::uint8_t> bytes);

// True when a saved problem still describes the registry as it is now: its key opens with write
// access in its view, and its value (or default value data) is still there. Problems whose key is
// not a registry path (shortcut files) are always kept.
bool SavedProblemStillPresent(engine::EngineContext& ctx, const engine::CProblem& problem);

// Writes "results.dvn" in folder from the controller's categories. Failures are logged through
// the context's activity-log hook.
void SaveProblemsToDisk(engine::CScanController& controller, std::u16string_view folder);

enum class ResultsLoad {
  kNoFile,   // nothing saved: nothing changed
  kBusy,     // a scan is running: nothing changed
  kLoaded,   // fresh categories hold the problems that are still present
  kDamaged,  // the file was deleted and the problem lists emptied
};

struct ResultsLoadOutcome {
  ResultsLoad status = ResultsLoad::kNoFile;
  std::uint32_t previousTotal = 0;  // the header's total, when loaded
};

// Reads "results.dvn" in folder into fresh category objects of the controller (no stop event or
// undo recorder attached to the categories; the controller's undo recorder is attached to every
// problem). Problems that are no longer present are dropped. When settings is given, the number
// of problems kept becomes its "StrLastScanResults". A damaged or truncated file is deleted and
// every category's list emptied; the program goes on without stored results.
ResultsLoadOutcome LoadProblemsFromDisk(engine::CScanController& controller,
                                        std::u16string_view folder, CSettings* settings);

// The same in the user's application-data folder (storage/app_data.h). Without such a folder
// nothing is written or read.
void SaveProblemsToDisk(engine::CScanController& controller);
ResultsLoadOutcome LoadProblemsFromDisk(engine::CScanController& controller, CSettings* settings);

}  // namespace bc::storage
