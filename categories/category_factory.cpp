#include "categories/category_factory.h"

#include "categories/activex.h"
#include "categories/file_types.h"

namespace bc::categories {

std::unique_ptr<engine::CCategory> CreateCategory(std::uint32_t bit, engine::EngineContext& ctx,
                                                  engine::CFileReferences& fileRefs) {
  switch (bit) {
    case 0x0001:
      return std::make_unique<CActiveX>(ctx, fileRefs);
    case 0x0004:
      return std::make_unique<CFileTypes>(ctx, fileRefs);
    default:
      return nullptr;
  }
}

}  // namespace bc::categories
