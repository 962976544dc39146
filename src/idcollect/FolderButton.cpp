#include "idcollect/FolderButton.h"

#include "ui/ShellActions.h"
#include "ui/Ui.h"
#include "ui/Window.h"

namespace quillet::idcollect {

// Both ID windows call their folder box 编辑框保存目录.
static_assert(ui::shopwin::编辑框保存目录.utf8() == ui::keywordwin::编辑框保存目录.utf8());

namespace {
ui::Control* folderBox(ui::Window& window)
{
    return window.find(ui::shopwin::编辑框保存目录);
}
} // namespace

void chooseSaveFolder(ui::Window& window, ui::Ui& ui)
{
    ui::Control* box = folderBox(window);
    if (!box)
        return;
    const GbkText chosen = ui.chooseFolder(box->text(), gbk("请选择一个文件夹"));
    if (!chosen.empty())
        box->setText(chosen);
}

void openSaveFolder(const ui::Window& window, ui::Ui& ui)
{
    const ui::Control* box = window.find(ui::shopwin::编辑框保存目录);
    if (!box)
        return;
    // The file browser on the folder in a new window, nothing selected (an ".exe" is run on
    // Windows only; elsewhere nothing named here is ever run).
    ui::openInExplorer(ui, box->text(), true, true, false);
}

} // namespace quillet::idcollect
