#pragma once

#include "app/CollectorController.h"

namespace quillet::app {

// The window that collects the product IDs of one shop (ui::makeShopIdWindow), its controls
// kept under "店铺采集ID".
class ShopIdController : public CollectorController {
public:
    ShopIdController(App& app, ui::Ui& ui);

protected:
    bool handleOwnEvent(const GbkText& control, ui::EventKind kind) override;
    [[nodiscard]] const ui::ControlName& runButton() const override;
    idcollect::RunOutcome runClicked(idcollect::CollectContext& context) override;
};

} // namespace quillet::app
