// The product's category objects by bit, for the scan controller's createCategory hook.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/category.h"

namespace bc::engine {
class CFileReferences;
}

namespace bc::categories {

// The category of a bit, or nullptr for bits whose category is not built yet. fileRefs is the
// context's file-reference validator (its verdict cache is shared by every category of the
// process) and must outlive the category.
std::unique_ptr<engine::CCategory> CreateCategory(std::uint32_t bit, engine::EngineContext& ctx,
                                                  engine::CFileReferences& fileRefs);

}  // namespace bc::categories
