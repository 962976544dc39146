#pragma once

namespace quillet::ui {
class Ui;
class Window;
} // namespace quillet::ui

namespace quillet::idcollect {

// The ".." button beside 编辑框保存目录 of both ID windows.
// Click: the folder picker opens on the folder; a chosen folder replaces it.
void chooseSaveFolder(ui::Window& window, ui::Ui& ui);
// Right click: the folder is shown in the system's file browser.
void openSaveFolder(const ui::Window& window, ui::Ui& ui);

} // namespace quillet::idcollect
