#include "engine/category_table.h"

namespace bc::engine {

const CategoryInfo* FindCategory(std::uint32_t bit) {
  for (const CategoryInfo& info : kCategoryTable) {
    if (info.bit == bit) return &info;
  }
  return nullptr;
}

std::uint32_t ScanGroupMask(int group) {
  if (group < 1 || group > static_cast<int>(kScanGroupMasks.size())) return 0;
  return kScanGroupMasks[static_cast<std::size_t>(group - 1)];
}

}  // namespace bc::engine
