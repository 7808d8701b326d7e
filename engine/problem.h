// One finding of a scan.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bc::repair {
class CUndoRecorder;  // the repair layer's undo recorder; the engine only passes it along
}

namespace bc::engine {

using CUndoRecorder = bc::repair::CUndoRecorder;

// Fields in the order they are serialised. Created only by CCategory::AddProblem (scans) or by
// the results-file reader.
struct CProblem {
  std::int32_t EntryType = 0;
  // Full registry path with the root's long name; a file path for entry type 34; empty for 40.
  std::u16string Key;
  std::u16string ValueName;  // empty: the finding is about the whole key
  std::u16string ValueData;
  std::u16string AlternateKey;  // full path; when set, several repairs act on it instead of Key
  // Line 0 is the description, line 1 the location; some categories add more.
  std::vector<std::u16string> DisplayTexts;
  std::int32_t Selected = 1;              // ticked for repair
  std::int32_t Is32BitEntry = 0;          // found in the 32-bit registry view of 64-bit Windows
  CUndoRecorder* UndoRecorder = nullptr;  // not owned

  // Display line i, or an empty text when the problem has fewer lines.
  std::u16string_view DisplayLine(std::size_t i) const {
    return i < DisplayTexts.size() ? std::u16string_view(DisplayTexts[i]) : std::u16string_view();
  }
};

}  // namespace bc::engine
