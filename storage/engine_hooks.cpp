#include "storage/engine_hooks.h"

namespace bc::storage {

void AttachStorageHooks(engine::EngineContext& ctx, CSettings& settings, CActivityLog& log,
                        CLocalization& localization) {
  ctx.hooks.writeLogLine = [&log](std::u16string_view line) { log.AddLine(line); };
  ctx.hooks.lookupText = [&localization](std::u16string_view key) {
    return localization.GetText(key);
  };
  ctx.hooks.skipEmptyKeys = [&settings] { return settings.SetChkSkipEmptyKeys != 0; };
  ctx.hooks.enabledCategories = [&settings] { return settings.SelectedCategories(); };
}

}  // namespace bc::storage
