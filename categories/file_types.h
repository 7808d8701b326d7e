// The file-types category: every extension and every programmatic identifier directly under
// HKEY_CLASSES_ROOT. Reports extensions whose type is not registered, empty type keys, class
// references to missing COM classes, default icons and verb commands naming missing files, verbs
// without a command and context-menu handlers whose class is missing.
#pragma once

#include "engine/category.h"

namespace bc::engine {
class CFileReferences;
}

namespace bc::categories {

class CFileTypes : public engine::CCategory {
 public:
  CFileTypes(engine::EngineContext& ctx, engine::CFileReferences& fileRefs);

  // 1 when the walk completed, kStopped when the stop event ended it. On 64-bit Windows the
  // native walk runs first, then the walk of the 32-bit view.
  int Scan() override;
  int Prepare() override { return 1; }
  // The walk of the 32-bit view of 64-bit Windows (findings carry Is32BitEntry 1).
  virtual int ScanWow6432Node();
  // The walk of the native view of 64-bit Windows.
  virtual int ScanNative();

 private:
  engine::CFileReferences& fileRefs_;
};

}  // namespace bc::categories
