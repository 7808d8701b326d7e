// The main program without its windows: a simulated machine, one process of the product on it,
// and the objects the program creates at start-up (settings, activity log, language, exclusion
// and skip lists, file-reference validation, the scan controller), wired together.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "engine/context.h"
#include "engine/exclusions.h"
#include "engine/file_refs.h"
#include "engine/scan_controller.h"
#include "engine/skip_lists.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "storage/activity_log.h"
#include "storage/localization.h"
#include "storage/settings.h"

namespace bc::cli {

class Session {
 public:
  // Opens the machine and starts the product on it as the machine's current user (elevated when
  // asked). nullptr and a one-line reason on failure.
  static std::unique_ptr<Session> Start(const std::filesystem::path& machineDir, bool elevated,
                                        std::string* error);
  // Writes back what the program writes at exit: results, exclusion lists, settings.
  ~Session();

  platform::sim::SimProcess& Process() { return *process_; }
  engine::EngineContext& Engine() { return *engine_; }
  engine::CScanController& Controller() { return *controller_; }
  storage::CSettings& Settings() { return *settings_; }
  storage::CLocalization& Localization() { return *localization_; }
  const std::u16string& AppDataFolder() const { return appData_; }

  std::u16string Text(std::u16string_view key) { return localization_->GetText(key); }

 private:
  Session() = default;
  std::unique_ptr<platform::sim::SimMachine> machine_;
  std::unique_ptr<platform::sim::SimProcess> process_;
  std::unique_ptr<storage::CSettings> settings_;
  std::unique_ptr<storage::CActivityLog> log_;
  std::unique_ptr<storage::CLocalization> localization_;
  std::unique_ptr<engine::EngineContext> engine_;
  std::unique_ptr<engine::CSkipLists> skipLists_;
  std::unique_ptr<engine::CExclusionLists> exclusions_;
  std::unique_ptr<engine::CFileReferences> fileRefs_;
  std::unique_ptr<engine::CScanController> controller_;
  std::u16string appData_;
};

}  // namespace bc::cli
