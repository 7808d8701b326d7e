// The ActiveX and COM category: registrations of COM classes, application identifiers, type
// libraries and interfaces under HKEY_CLASSES_ROOT that point to files, folders or registrations
// that no longer exist, and keys of these kinds left empty.
#pragma once

#include "engine/category.h"

namespace bc::engine {
class CFileReferences;
}

namespace bc::categories {

class CActiveX : public engine::CCategory {
 public:
  // fileRefs judges the files the registrations name; it must outlive the category.
  CActiveX(engine::EngineContext& ctx, engine::CFileReferences& fileRefs);

  // Walks the class, AppID, type-library and interface keys: once on 32-bit Windows, in the
  // native and then the 32-bit view on 64-bit Windows. kStopped when the stop event ended it,
  // else 1; a completed walk leaves the problems sorted by description.
  int Scan() override;
  int Prepare() override { return 1; }

 private:
  engine::CFileReferences& fileRefs_;
};

}  // namespace bc::categories
