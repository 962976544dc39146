#include "app/ShopIdController.h"

#include "idcollect/ShopIds.h"
#include "ui/ControlNames.h"
#include "ui/SecondaryWindows.h"

namespace quillet::app {

ShopIdController::ShopIdController(App& app, ui::Ui& ui)
    : CollectorController(app, ui, ui::makeShopIdWindow(), ui::shopIdSection())
{
}

bool ShopIdController::handleOwnEvent(const GbkText& control, ui::EventKind kind)
{
    if (kind != ui::EventKind::Clicked)
        return false;
    if (control == ui::shopwin::按钮查询宝贝数) {
        idcollect::CollectContext context = collectContext();
        (void)idcollect::shopCountClicked(window(), context, services());
        return true;
    }
    if (control == ui::shopwin::按钮1) {
        idcollect::shopHintClicked(services());
        return true;
    }
    return false;
}

const ui::ControlName& ShopIdController::runButton() const
{
    return ui::shopwin::按钮开始;
}

idcollect::RunOutcome ShopIdController::runClicked(idcollect::CollectContext& context)
{
    return idcollect::shopStartClicked(window(), context, services());
}

} // namespace quillet::app
