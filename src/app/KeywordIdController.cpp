#include "app/KeywordIdController.h"

#include "idcollect/KeywordIds.h"
#include "ui/ControlNames.h"
#include "ui/SecondaryWindows.h"

namespace quillet::app {

KeywordIdController::KeywordIdController(App& app, ui::Ui& ui)
    : CollectorController(app, ui, ui::makeKeywordIdWindow(), ui::keywordIdSection())
{
}

bool KeywordIdController::handleOwnEvent(const GbkText&, ui::EventKind)
{
    return false; // the run button and the folder button are all it has
}

const ui::ControlName& KeywordIdController::runButton() const
{
    return ui::keywordwin::按钮采集;
}

idcollect::RunOutcome KeywordIdController::runClicked(idcollect::CollectContext& context)
{
    return idcollect::keywordRunClicked(window(), context, services());
}

} // namespace quillet::app
