// Fuzzes the reader of "ExcludeList.dvn" and "TempHLList.dvn": any bytes give a list or a clean
// failure; a list read back re-encodes to the same list; loading a damaged file empties the list.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "engine/exclusions.h"
#include "tests/engine/mem_files.h"

namespace {

constexpr std::u16string_view kFolder = u"C:\\AppData";

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bc::engine;
  const std::span<const std::uint8_t> bytes(data, size);
  const auto entries = DecodeExclusionFile(bytes);
  if (entries) {
    const auto again = DecodeExclusionFile(EncodeExclusionFile(*entries));
    Check(again.has_value() && *again == *entries);
  }

  bc::test::MemFiles files;
  files.Put(std::u16string(kFolder) + u"\\ExcludeList.dvn", {bytes.begin(), bytes.end()});
  files.Put(std::u16string(kFolder) + u"\\TempHLList.dvn", {bytes.begin(), bytes.end()});
  CExclusionLists lists;
  lists.AddExclusion(u"HKEY_USERS\\BEFORE");
  lists.LoadExclusions(files, kFolder);
  lists.LoadHistoryExclusions(files, kFolder);
  const std::vector<std::u16string> expected = entries ? *entries : std::vector<std::u16string>{};
  Check(lists.Exclusions() == expected);
  Check(lists.HistoryExclusions() == expected);
  for (const std::u16string& e : expected) {
    Check(lists.IsExcluded(e) == !e.empty());
    Check(lists.IsHistoryExcluded(e) == !e.empty());
  }
  return 0;
}
