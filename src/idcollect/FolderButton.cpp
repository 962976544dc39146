#include "idcollect/FolderButton.h"

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
#ifdef _WIN32
    const GbkText& path = box->text();
    bool program = path.size() >= 4;
    for (std::size_t i = 0; program && i < 4; ++i) {
        const char c = path[path.size() - 4 + i];
        program = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == ".exe"[i];
    }
    if (program)
        ui.openWithSystem(path, GbkText());
    else
        ui.startProgram("explorer", {"/n,\"" + path + "\""});
#else
    // The desktop's file manager shows the folder; nothing named here is ever run.
    ui.openWithSystem(box->text(), GbkText());
#endif
}

} // namespace quillet::idcollect
