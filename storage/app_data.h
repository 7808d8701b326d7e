// The per-user folder of the program's own files: the user's roaming application data followed by
// "Tessaly Works\Brellum Corvane\Version 1". Logs, saved results, exclusion lists, the scan log
// and backups live there.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace bc::storage {

inline constexpr std::u16string_view kAppDataSubFolder =
    u"Tessaly Works\\Brellum Corvane\\Version 1";

// The folder's path, created with every missing parent; empty when the user has no application
// data folder. Creation failures are not reported: writers then fail on their own files.
std::u16string ApplicationDataFolder(platform::IPlatform& platform);

}  // namespace bc::storage
