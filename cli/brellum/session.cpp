#include "cli/brellum/session.h"

#include "base/text.h"
#include "categories/category_factory.h"
#include "platform/sim/product_install.h"
#include "storage/app_data.h"
#include "storage/engine_hooks.h"
#include "storage/results_file.h"

namespace bc::cli {

std::unique_ptr<Session> Session::Start(const std::filesystem::path& machineDir, bool elevated,
                                        std::string* error) {
  std::unique_ptr<Session> s(new Session());
  s->machine_ = platform::sim::SimMachine::Open(machineDir, error);
  if (!s->machine_) return nullptr;
  const auto& d = s->machine_->Descriptor();
  const std::u16string program = platform::sim::ProductProgramPath(d);
  s->process_ = s->machine_->StartProcess({u"", elevated, false, program, u"\"" + program + u"\""});
  if (!s->process_) {
    if (error) *error = "the current user of the machine is not an administrator";
    return nullptr;
  }
  auto& p = *s->process_;

  s->settings_ = std::make_unique<storage::CSettings>(p.Registry());
  s->settings_->ReadAllSettings();
  s->settings_->NumTimesDVNRunned += 1;
  s->log_ = std::make_unique<storage::CActivityLog>(p);
  s->localization_ = storage::MakeLocalization(p);
  s->appData_ = storage::ApplicationDataFolder(p);

  s->engine_ = std::make_unique<engine::EngineContext>(p, engine::ReadSystemFacts(p));
  auto& ctx = *s->engine_;
  storage::AttachStorageHooks(ctx, *s->settings_, *s->log_, *s->localization_);

  s->skipLists_ = engine::CSkipLists::ForMachine(p.Shell(), p.Files());
  ctx.hooks.isReportableKey = [lists = s->skipLists_.get()](std::u16string_view key) {
    return lists->IsReportableKey(key);
  };
  s->exclusions_ = std::make_unique<engine::CExclusionLists>();
  s->exclusions_->LoadExclusions(p.Files(), s->appData_);
  s->exclusions_->LoadHistoryExclusions(p.Files(), s->appData_);
  engine::AttachExclusionHooks(ctx, *s->exclusions_);

  s->fileRefs_ = std::make_unique<engine::CFileReferences>(ctx, *s->skipLists_);
  s->fileRefs_->removableMediaSetting = [settings = s->settings_.get()] {
    return settings->SetChkREmovableMedia != 0;
  };
  ctx.hooks.createCategory = [refs = s->fileRefs_.get()](std::uint32_t bit,
                                                         engine::EngineContext& c) {
    return categories::CreateCategory(bit, c, *refs);
  };

  s->controller_ = std::make_unique<engine::CScanController>(ctx);
  storage::LoadProblemsFromDisk(*s->controller_, s->appData_, s->settings_.get());
  return s;
}

Session::~Session() {
  if (!controller_) return;
  controller_->WaitForScanThread();
  storage::SaveProblemsToDisk(*controller_, appData_);
  exclusions_->SaveExclusions(process_->Files(), appData_);
  exclusions_->SaveHistoryExclusions(process_->Files(), appData_);
  settings_->WriteAllSettings();
}

}  // namespace bc::cli
