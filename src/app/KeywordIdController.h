#pragma once

#include "app/CollectorController.h"

namespace quillet::app {

// The window that collects product IDs by keyword search (ui::makeKeywordIdWindow), its
// controls kept under "关键词采集ID".
class KeywordIdController : public CollectorController {
public:
    KeywordIdController(App& app, ui::Ui& ui);

protected:
    bool handleOwnEvent(const GbkText& control, ui::EventKind kind) override;
    [[nodiscard]] const ui::ControlName& runButton() const override;
    idcollect::RunOutcome runClicked(idcollect::CollectContext& context) override;
};

} // namespace quillet::app
