#include "SettingsStore.h"

#include "IniText.h"
#include "text/Charset.h"
#include "text/EventPump.h"
#include "text/FileIo.h"
#include "text/Paths.h"
#include "ui/Ui.h"
#include "ui/Window.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <utility>

namespace quillet::settings {

namespace fs = std::filesystem;

namespace {

// What a control's name prefix says about how it is kept, tested in this order.
enum class SavedKind { None, Button, EditBox, CheckBox, RadioButton, ComboBox, ListBox, CheckListBox, ColourPicker };

SavedKind savedKindOf(const GbkText& name)
{
    static const std::pair<const GbkText*, SavedKind> prefixes[] = {
        {&gbk("按钮"), SavedKind::Button},         {&gbk("编辑框"), SavedKind::EditBox},
        {&gbk("选择框"), SavedKind::CheckBox},     {&gbk("单选框"), SavedKind::RadioButton},
        {&gbk("组合框"), SavedKind::ComboBox},     {&gbk("列表框"), SavedKind::ListBox},
        {&gbk("选择列表框"), SavedKind::CheckListBox}, {&gbk("颜色选择器"), SavedKind::ColourPicker},
    };
    for (const auto& [prefix, kind] : prefixes)
        if (name.starts_with(*prefix))
            return kind;
    return SavedKind::None;
}

const GbkText& byteModeTag()
{
    return gbk("字节集方式");
}

const GbkText& noSaveTag()
{
    return gbk("禁止保存");
}

const GbkText& storeTitle()
{
    return gbk("墨汀：");
}

bool listed(const std::vector<GbkText>& names, const GbkText& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Indices that can name an item: not negative, and inside the list when the list is known.
std::vector<int> usableIndices(std::vector<int> indices, std::size_t itemCount)
{
    std::erase_if(indices, [itemCount](int i) { return i < 0 || (itemCount > 0 && static_cast<std::size_t>(i) >= itemCount); });
    return indices;
}

// Whether a stored selection can be taken: it names one of the items, or the items are not
// known yet (a list filled later).
bool selectsItem(int index, std::size_t itemCount)
{
    return itemCount == 0 || (index >= 0 && static_cast<std::size_t>(index) < itemCount);
}

} // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::~SettingsStore()
{
    closeStore();
}

void SettingsStore::setUi(ui::Ui* ui)
{
    m_ui = ui;
    deliverWarnings();
}

void SettingsStore::warn(const GbkText& text, const GbkText& title)
{
    if (m_ui) {
        m_ui->messageBox(text, title, ui::MessageButtons::Ok);
        return;
    }
    // Nobody to show it to yet: say it on the terminal now and show it once a Ui is set.
    const std::string utf8 = text::gbkToUtf8(title + " " + text);
    std::fprintf(stderr, "%s\n", utf8.c_str());
    m_undelivered.emplace_back(text, title);
}

void SettingsStore::deliverWarnings()
{
    if (!m_ui)
        return;
    auto pending = std::move(m_undelivered);
    m_undelivered.clear();
    for (const auto& [text, title] : pending)
        m_ui->messageBox(text, title, ui::MessageButtons::Ok);
}

bool SettingsStore::loadText(const fs::path& native, const GbkText& shownPath, GbkText& text)
{
    text::FileContent content = text::readWholeFile(native);
    if (content.status == text::ReadStatus::Failed) {
        text.clear();
        warn(gbk("无法读取配置文件：") + "\r\n" + shownPath + "\r\n"
                 + gbk("其中保存的设置本次未能载入。为免覆盖这些设置，本次对设置的更改不会写入该文件。请检查该文件的读取权限。"),
             storeTitle());
        return false;
    }
    text = ini::normaliseLineEnds(std::move(content.bytes));
    return true;
}

bool SettingsStore::openStore(const GbkText& path, int kind)
{
    closeStore();
    m_storagePath = path;
    m_openedPath = path;
    m_kind = (kind == StorageMemoryCopy || kind == StorageRegistry) ? kind : StorageFile;
    m_nativePath = path.empty() ? fs::path() : text::toNativePath(path);
    selectSection(m_section);

    if (m_kind == StorageRegistry) {
        m_open = true;
        return true;
    }
    if (path.empty())
        return false;

    if (m_kind == StorageMemoryCopy) {
        (void)loadText(m_nativePath, m_openedPath, m_buffer);
        m_open = true;
        return true;
    }

    // The file form: hold the file first, then load it, so nobody changes it in between.
    const FileLock::Result lock = m_lock.acquire(m_nativePath);
    if (lock == FileLock::Result::Locked)
        (void)text::recoverInterruptedWrite(m_nativePath); // a rewrite this program was killed in
    const bool exists = [&] {
        std::error_code ec;
        return fs::exists(m_nativePath, ec);
    }();
    if (!loadText(m_nativePath, m_openedPath, m_buffer)) {
        m_lock.release();
        return false;
    }

    if (lock == FileLock::Result::HeldElsewhere) {
        warn(gbk("配置文件正被另一个正在运行的本程序使用：") + "\r\n" + m_openedPath + "\r\n"
                 + gbk("本窗口读取了其中的设置，但本次对设置的更改不会被保存。请关闭另一个程序后再修改设置。"),
             storeTitle());
        return false;
    }
    if (lock == FileLock::Result::Failed || !text::canReplaceFile(m_nativePath)
        || (!exists && !text::writeFileAtomically(m_nativePath, std::string_view()))) {
        m_lock.release();
        warn(gbk("无法写入配置文件：") + "\r\n" + m_openedPath + "\r\n"
                 + gbk("本次对设置的更改不会被保存。请检查该文件或其所在文件夹是否可写。"),
             storeTitle());
        return false;
    }
    m_open = true;
    return true;
}

bool SettingsStore::openStoreOver(const GbkText& path, const GbkText& basePath)
{
    const bool opened = openStore(path, StorageFile);
    if (m_kind != StorageFile || basePath.empty())
        return opened;
    m_basePath = basePath;
    m_nativeBasePath = text::toNativePath(basePath);
    (void)loadText(m_nativeBasePath, m_basePath, m_baseBuffer);
    return opened;
}

void SettingsStore::selectSection(const GbkText& name)
{
    m_section = name;
    m_registryKey = gbk("墨汀软件\\") + ini::baseName(m_storagePath) + "\\" + name + "\\";
}

void SettingsStore::closeStore()
{
    m_lock.release();
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_pending.clear();
    m_heldBytes.clear();
    m_basePath.clear();
    m_nativeBasePath.clear();
    m_baseBuffer.clear();
    m_baseBuffer.shrink_to_fit();
    m_open = false;
    m_dirty = false;
    m_diskErrorShown = false;
    ++m_generation;
}

bool SettingsStore::saveCopyAs(const GbkText& path)
{
    const GbkText& target = path.empty() ? m_openedPath : path;
    if (target.empty())
        return false;
    const fs::path native = text::toNativePath(target);
    if (!text::writeFileAtomically(native, m_buffer))
        return false;
    if (native == m_nativePath && savesToDisk())
        m_dirty = false;
    return true;
}

fs::path SettingsStore::byteFilePath(const GbkText& key) const
{
    return byteFileIn(m_nativePath, key);
}

fs::path SettingsStore::byteFileIn(const fs::path& settingsFile, const GbkText& key) const
{
    if (settingsFile.empty())
        return {};
    const fs::path folder = settingsFile.has_parent_path() ? settingsFile.parent_path() : fs::path(".");
    return folder / "inibin" / text::toNativePath(ini::byteFileName(m_section, key));
}

// ---- reading ----

bool SettingsStore::findValue(const GbkText& key, GbkText& value) const
{
    if (m_kind == StorageRegistry) {
        const auto it = m_registry.find(m_registryKey + key);
        if (it == m_registry.end())
            return false;
        value = it->second;
        return true;
    }
    // The opened file first, then the file read beneath it.
    for (const GbkText* text : {&m_buffer, &m_baseBuffer}) {
        const std::size_t header = ini::findSection(*text, m_section);
        if (header == ini::npos)
            continue;
        const ini::ValueRange range = ini::findKey(*text, header, key);
        if (!range.found())
            continue;
        value.assign(*text, range.valueBegin, range.valueEnd - range.valueBegin);
        return true;
    }
    return false;
}

GbkText SettingsStore::readText(const GbkText& key, const GbkText& defaultValue) const
{
    GbkText stored;
    if (!findValue(key, stored))
        return defaultValue;
    return ini::decodeText(stored);
}

double SettingsStore::readNumber(const GbkText& key, double defaultValue) const
{
    GbkText stored;
    if (!findValue(key, stored))
        return defaultValue;
    return ini::parseNumber(stored);
}

bool SettingsStore::readBool(const GbkText& key, bool defaultValue) const
{
    GbkText stored;
    if (!findValue(key, stored))
        return defaultValue;
    return stored == gbk("真");
}

bool SettingsStore::readBoolNotFalse(const GbkText& key, bool defaultValue) const
{
    GbkText stored;
    if (!findValue(key, stored))
        return defaultValue;
    return stored != gbk("假");
}

std::string SettingsStore::readBytes(const GbkText& key, const std::string& defaultValue) const
{
    if (m_kind == StorageRegistry) {
        const auto it = m_registry.find(GbkText(1, '\0') + m_registryKey + key);
        return (it == m_registry.end() || it->second.empty()) ? defaultValue : it->second;
    }
    const fs::path path = byteFilePath(key);
    if (const auto held = m_heldBytes.find(path); held != m_heldBytes.end())
        return held->second.empty() ? defaultValue : held->second;
    if (path.empty())
        return defaultValue;
    text::FileContent content = text::readWholeFile(path);
    if (content.status == text::ReadStatus::Missing && !m_nativeBasePath.empty())
        content = text::readWholeFile(byteFileIn(m_nativeBasePath, key));
    if (!content.ok() || content.bytes.empty())
        return defaultValue;
    return std::move(content.bytes);
}

// ---- writing ----

bool SettingsStore::writeText(const GbkText& key, const GbkText& value)
{
    return queueWrite(key, ini::encodeText(value));
}

bool SettingsStore::writeNumber(const GbkText& key, double value)
{
    return queueWrite(key, ini::formatNumber(value));
}

bool SettingsStore::writeBool(const GbkText& key, bool value)
{
    return queueWrite(key, value ? gbk("真") : gbk("假"));
}

bool SettingsStore::writeBytes(const GbkText& key, const std::string& bytes)
{
    if (m_kind == StorageRegistry) {
        m_registry[GbkText(1, '\0') + m_registryKey + key] = bytes;
        return true;
    }
    const fs::path path = byteFilePath(key);
    if (path.empty() || !m_open) {
        // No file to write to (never opened, or held by another instance): keep the bytes
        // for this run, as the settings text is kept.
        m_heldBytes[path.empty() ? fs::path(text::toNativePath(m_section + "-" + key)) : path] = bytes;
        return false;
    }
    if (const text::FileContent stored = text::readWholeFile(path);
        stored.ok() && stored.bytes == bytes && !m_heldBytes.contains(path))
        return true; // already there: spare the disk a flush
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (text::writeFileAtomically(path, bytes)) {
        m_heldBytes.erase(path);
        return true;
    }
    m_heldBytes[path] = bytes;
    if (!m_diskErrorShown) {
        m_diskErrorShown = true;
        warn(gbk("无法写入设置文件：") + "\r\n" + text::fromNativePath(path) + "\r\n"
                 + gbk("该设置暂时只保存在内存中，程序退出后将丢失。"),
             storeTitle());
    }
    return false;
}

bool SettingsStore::queueWrite(const GbkText& key, const GbkText& encodedValue)
{
    if (m_kind == StorageRegistry) {
        m_registry[m_registryKey + key] = encodedValue;
        return true;
    }
    const std::uint64_t id = m_nextWriteId++;
    m_pending.push_back({id, m_section, key, encodedValue});
    if (m_busy)
        return false; // carried out by the write under way, after it, in arrival order

    m_busy = true;
    bool result = false;
    const std::uint64_t generation = m_generation;
    while (!m_pending.empty() && generation == m_generation) {
        PendingWrite next = std::move(m_pending.front());
        m_pending.pop_front();
        const bool ok = carryOut(next);
        if (next.id == id)
            result = ok;
    }
    m_busy = false;
    return result;
}

bool SettingsStore::carryOut(const PendingWrite& write)
{
    int appends = 0;
    bool keyInserted = false;
    bool edited = false;
    for (;;) {
        const std::size_t header = m_forceSectionMiss ? ini::npos : ini::findSection(m_buffer, write.section);
        if (header == ini::npos) {
            if (!m_buffer.empty())
                m_buffer += "\r\n";
            m_buffer += '[';
            m_buffer += write.section;
            m_buffer += ']';
            m_dirty = true;
            edited = true;
            if (++appends >= 11) {
                if (m_batchDepth == 0)
                    persist();
                warn(gbk("配置模块出现意外，可能导致无法正常保存！详情请咨询墨汀。"), storeTitle());
                warn(m_buffer, ui::defaultMessageTitle());
                return false;
            }
            continue;
        }
        const ini::ValueRange range = ini::findKey(m_buffer, header, write.key);
        if (!range.found()) {
            if (keyInserted) {
                // The line just inserted cannot be found again (a key holding CR LF or
                // starting a header line): give the write up instead of inserting forever.
                if (m_batchDepth == 0)
                    persist();
                return false;
            }
            GbkText line = "\r\n";
            line += write.key;
            line += '=';
            m_buffer.insert(ini::endOfLine(m_buffer, header), line);
            m_dirty = true;
            edited = true;
            keyInserted = true;
            continue;
        }
        if (std::string_view(m_buffer).substr(range.valueBegin, range.valueEnd - range.valueBegin) == write.value)
            break; // the same value again: nothing to edit
        m_buffer.replace(range.valueBegin, range.valueEnd - range.valueBegin, write.value);
        m_dirty = true;
        edited = true;
        break;
    }

    if (edited && m_buffer.size() >= kLongEditBytes) {
        // A long edit: let the window breathe before the file is replaced.
        const std::uint64_t generation = m_generation;
        text::processEvents();
        if (generation != m_generation)
            return false; // the store was closed meanwhile
    }
    if (m_batchDepth > 0 || !m_dirty)
        return m_open; // reaches the disk when the batch ends, or is there already
    return persist();
}

bool SettingsStore::persist()
{
    if (!m_open)
        return false; // no file: the change lives in memory only (the user was told at opening)
    if (m_kind == StorageMemoryCopy) {
        m_dirty = false;
        return true;
    }
    if (text::writeFileAtomically(m_nativePath, m_buffer)) {
        m_dirty = false;
        m_diskErrorShown = false;
        return true;
    }
    if (!m_diskErrorShown) {
        m_diskErrorShown = true;
        warn(gbk("无法写入配置文件：") + "\r\n" + m_openedPath + "\r\n"
                 + gbk("设置的更改暂时只保存在内存中，下次保存成功时会一并写入；若一直无法写入，程序退出后这些更改将丢失。"),
             storeTitle());
    }
    return false;
}

void SettingsStore::beginBatch()
{
    ++m_batchDepth;
}

void SettingsStore::endBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0 && m_dirty)
        persist();
}

// ---- windows ----

void SettingsStore::saveWindowControls(const ui::Window& window, const GbkText& section,
                                       const std::vector<GbkText>& skip, bool withComboLists, bool withComboTexts)
{
    if (!section.empty())
        selectSection(section);
    beginBatch();
    // By index: an event processed between controls may change the window.
    for (std::size_t i = 0; i < window.size(); ++i) {
        const ui::Control& c = window.at(i);
        const GbkText& name = c.name();
        if (name.empty() || listed(skip, name) || c.tag() == noSaveTag())
            continue;
        const bool asBytes = c.tag() == byteModeTag();
        switch (savedKindOf(name)) {
        case SavedKind::None:
            continue;
        case SavedKind::Button:
            if (asBytes)
                writeBytes(name + gbk(".标记"), c.tag());
            else
                writeText(name + gbk(".标记"), c.tag());
            break;
        case SavedKind::EditBox:
            if (asBytes)
                writeBytes(name, c.text());
            else
                writeText(name, c.text());
            break;
        case SavedKind::CheckBox:
        case SavedKind::RadioButton:
            writeBool(name, c.checked());
            break;
        case SavedKind::ComboBox:
            writeNumber(name, c.selectedIndex());
            if (withComboLists)
                writeBytes(name + gbk(".列表"), ini::encodeItems(c.items()));
            if (withComboTexts)
                writeText(name + gbk(".内容"), c.text());
            break;
        case SavedKind::ListBox:
            writeBytes(name, ini::encodeItems(c.items()));
            writeText(name + gbk(".选中"), ini::joinIndices(c.selectedIndices()));
            break;
        case SavedKind::CheckListBox:
            writeBytes(name, ini::encodeItems(c.items()));
            writeNumber(name + gbk(".选中"), c.selectedIndex());
            writeText(name + gbk(".打勾"), ini::joinIndices(c.checkedIndices()));
            break;
        case SavedKind::ColourPicker:
            writeNumber(name, static_cast<double>(c.colour()));
            break;
        }
        text::processEvents();
    }
    endBatch();
}

void SettingsStore::restoreWindowControls(ui::Window& window, const GbkText& section, const std::vector<GbkText>& skip,
                                          bool withComboLists, bool withComboTexts)
{
    if (!section.empty())
        selectSection(section);
    for (std::size_t i = 0; i < window.size(); ++i) {
        ui::Control& c = window.at(i);
        const GbkText name = c.name();
        if (name.empty() || listed(skip, name) || c.tag() == noSaveTag())
            continue;
        const bool asBytes = c.tag() == byteModeTag();
        switch (savedKindOf(name)) {
        case SavedKind::None:
            continue;
        case SavedKind::Button:
            c.setTag(asBytes ? GbkText(readBytes(name + gbk(".标记"), c.tag())) : readText(name + gbk(".标记"), c.tag()));
            break;
        case SavedKind::EditBox:
            c.setText(asBytes ? GbkText(readBytes(name, c.text())) : readText(name, c.text()));
            break;
        case SavedKind::CheckBox:
        case SavedKind::RadioButton:
            c.setChecked(readBool(name, c.checked()));
            break;
        case SavedKind::ComboBox: {
            const int index = ini::toInt(readNumber(name, c.selectedIndex()));
            if (withComboLists) {
                const std::string current = ini::encodeItems(c.items());
                const std::string stored = readBytes(name + gbk(".列表"), current);
                if (stored != current)
                    c.setItems(ini::decodeItems(stored));
            }
            // A selection that names none of the items (a damaged or stale file) keeps the
            // drop-down as it is, so every list keeps a choice it was designed for.
            if (selectsItem(index, c.items().size()))
                c.setSelectedIndex(index);
            if (withComboTexts)
                c.setText(readText(name + gbk(".内容"), c.text()));
            break;
        }
        case SavedKind::ListBox: {
            const std::string current = ini::encodeItems(c.items());
            const std::string stored = readBytes(name, current);
            if (stored != current)
                c.setItems(ini::decodeItems(stored));
            GbkText selected;
            if (findValue(name + gbk(".选中"), selected))
                for (int index : usableIndices(ini::splitIndices(ini::decodeText(selected)), c.items().size()))
                    c.selectIndex(index);
            break;
        }
        case SavedKind::CheckListBox: {
            const std::string current = ini::encodeItems(c.items());
            const std::string stored = readBytes(name, current);
            if (stored != current)
                c.setItems(ini::decodeItems(stored));
            if (const int index = ini::toInt(readNumber(name + gbk(".选中"), c.selectedIndex()));
                index == -1 || selectsItem(index, c.items().size()))
                c.setSelectedIndex(index);
            GbkText checked;
            if (findValue(name + gbk(".打勾"), checked))
                for (int index : usableIndices(ini::splitIndices(ini::decodeText(checked)), c.items().size()))
                    c.checkIndex(index);
            break;
        }
        case SavedKind::ColourPicker:
            c.setColour(static_cast<std::int64_t>(
                std::clamp(readNumber(name, static_cast<double>(c.colour())), -9.0e18, 9.0e18)));
            break;
        }
        text::processEvents();
    }
}

void SettingsStore::saveWindowPlacement(const ui::Window& window, const GbkText& name)
{
    selectSection((name.empty() ? gbk("主界面") : name) + gbk(".尺寸"));
    beginBatch();
    writeNumber(gbk("位置"), static_cast<int>(window.showState()));
    if (window.showState() == ui::ShowState::Normal) {
        const ui::Rect& g = window.geometry();
        writeNumber(gbk("左边"), g.left);
        writeNumber(gbk("顶边"), g.top);
        writeNumber(gbk("宽度"), g.width);
        writeNumber(gbk("高度"), g.height);
    }
    endBatch();
}

void SettingsStore::restoreWindowPlacement(ui::Window& window, const GbkText& name)
{
    selectSection((name.empty() ? gbk("主界面") : name) + gbk(".尺寸"));
    const int state = ini::toInt(readNumber(gbk("位置"), static_cast<int>(window.showState())));
    if (state == static_cast<int>(ui::ShowState::Minimised) || state == static_cast<int>(ui::ShowState::Maximised)) {
        window.setShowState(static_cast<ui::ShowState>(state));
        return;
    }
    window.setShowState(ui::ShowState::Normal);
    ui::Rect g = window.geometry();
    g.left = ini::toInt(readNumber(gbk("左边"), g.left));
    g.top = ini::toInt(readNumber(gbk("顶边"), g.top));
    g.width = ini::toInt(readNumber(gbk("宽度"), g.width));
    g.height = ini::toInt(readNumber(gbk("高度"), g.height));
    window.setGeometry(g);
}

} // namespace quillet::settings
