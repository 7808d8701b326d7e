// Plugs the settings, the activity log and the language lookup into a scan engine context.
#pragma once

#include "engine/context.h"
#include "storage/activity_log.h"
#include "storage/localization.h"
#include "storage/settings.h"

namespace bc::storage {

// Points the context's log, text, skip-empty-keys and category-selection hooks at these objects,
// which must outlive every scan of ctx.
void AttachStorageHooks(engine::EngineContext& ctx, CSettings& settings, CActivityLog& log,
                        CLocalization& localization);

}  // namespace bc::storage
