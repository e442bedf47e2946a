// The progress page's session and its engine.
#include "app/page_session.h"

#include <utility>

namespace {

struct EngineWithContext {
  EngineWithContext(const InstallerContext& context, std::shared_ptr<ProgressSink> sink)
      : context(context), progress(std::move(sink)), engine(this->context, *progress) {}
  InstallerContext context;
  std::shared_ptr<ProgressSink> progress;
  InstallEngine engine;
};

}  // namespace

std::shared_ptr<InstallSession> MakePageSession(const InstallerContext& context, std::shared_ptr<ProgressSink> progress,
                                                std::shared_ptr<WizardSink> wizard, StringLoader strings) {
  auto holder = std::make_shared<EngineWithContext>(context, progress);
  auto session = std::make_shared<InstallSession>();
  session->engine = std::shared_ptr<InstallEngine>(holder, &holder->engine);
  session->engine->BuildCatalogue();
  session->progress = std::move(progress);
  session->wizard = std::move(wizard);
  session->strings = std::move(strings);
  return session;
}
