#pragma once

#include "FileLock.h"
#include "text/GbkText.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quillet::ui {
class Ui;
class Window;
} // namespace quillet::ui

namespace quillet::settings {

// How the store keeps its values.
enum StorageKind : int {
    StorageFile = 0,       // the settings file (the one the program uses)
    StorageMemoryCopy = 1, // a copy of a file in memory; nothing is written until saveCopyAs
    StorageRegistry = 2,   // the Windows registry; elsewhere kept in memory for the run
};

// The process's store of control states and named values: one INI file (GBK, CR LF) beside
// the program, plus ".ibn" files in the folder "inibin" beside it for values kept as bytes.
//
// The whole file lives in memory. Each change is one edit of that text, and the whole text
// then replaces the file on the disk in one atomic step (temporary file, flush, rename), so
// the file on the disk always equals the text in memory after a change, and a kill at any
// moment leaves a complete file holding the old or the new value of every key. The file's
// layout is exactly that of an in-place edit: new sections at the end, new keys directly
// after their section's header.
//
// While a store holds a settings file, no other store (in this or another process) may
// write it: the second one reads the file, works on its copy in memory, tells the user
// through the Ui that its changes will not be saved, and its writes report false.
//
// Nothing is thrown; failures give false, the default value or the empty text.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Message boxes (the write guard's warnings, a file that cannot be saved) go here. Without
    // a Ui they go to the standard error stream. A warning given before a Ui was set is shown
    // when one is set.
    void setUi(ui::Ui* ui);

    // Opens the store on path (GBK) in the given kind. Kind 0 loads and holds the file
    // (creating it when missing); kind 1 loads a memory copy; kind 2 starts an empty
    // in-memory registry. True when a file (or memory copy) is open for writing.
    //
    // A file whose lines end in LF alone (written by another editor) is read line by line as
    // well; every write puts CR LF. A file that exists but cannot be read is never written:
    // the user is told, and changes stay in memory.
    bool openStore(const GbkText& path, int kind = StorageFile);
    // Opens the store on path (file form) with a second settings file beneath it that is
    // only read: a value missing from path's file (or its ".ibn" file) is looked up in
    // basePath's. Writes go to path alone, so what is changed there is read first from then on.
    // Used when the settings stored beside the program cannot be written.
    bool openStoreOver(const GbkText& path, const GbkText& basePath);
    // Sets the current section (and the registry key).
    void selectSection(const GbkText& name);

    bool writeText(const GbkText& key, const GbkText& value);
    [[nodiscard]] GbkText readText(const GbkText& key, const GbkText& defaultValue = {}) const;
    bool writeNumber(const GbkText& key, double value);
    [[nodiscard]] double readNumber(const GbkText& key, double defaultValue = 0) const;
    bool writeBool(const GbkText& key, bool value);
    // True only for a stored "真".
    [[nodiscard]] bool readBool(const GbkText& key, bool defaultValue = false) const;
    // True unless the stored text is "假".
    [[nodiscard]] bool readBoolNotFalse(const GbkText& key, bool defaultValue = true) const;
    // Bytes live in the ".ibn" file of the current section and key, not in the INI text.
    bool writeBytes(const GbkText& key, const std::string& bytes);
    [[nodiscard]] std::string readBytes(const GbkText& key, const std::string& defaultValue = {}) const;

    // Saves or restores every control of the window whose name prefix marks a savable kind,
    // in window order, skipping the names listed and controls tagged "禁止保存". Restoring
    // keeps the current state of every control without a stored value.
    void saveWindowControls(const ui::Window& window, const GbkText& section = {},
                            const std::vector<GbkText>& skip = {}, bool withComboLists = false,
                            bool withComboTexts = false);
    void restoreWindowControls(ui::Window& window, const GbkText& section = {}, const std::vector<GbkText>& skip = {},
                               bool withComboLists = false, bool withComboTexts = false);

    // The window's show state and geometry under the section name + ".尺寸" (name defaults
    // to "主界面").
    void saveWindowPlacement(const ui::Window& window, const GbkText& name = {});
    void restoreWindowPlacement(ui::Window& window, const GbkText& name = {});

    // Lets the file go and empties the text.
    void closeStore();
    // Writes the whole text to path (the opened path when empty).
    bool saveCopyAs(const GbkText& path = {});
    [[nodiscard]] const GbkText& wholeText() const { return m_buffer; }

    // State, for front ends and tests.
    [[nodiscard]] bool isOpen() const { return m_open; }
    // Whether changes reach the disk (kind 0 with the file held by this store).
    [[nodiscard]] bool savesToDisk() const { return m_open && m_kind == StorageFile; }
    [[nodiscard]] int kind() const { return m_kind; }
    [[nodiscard]] const GbkText& storagePath() const { return m_storagePath; }
    [[nodiscard]] const GbkText& section() const { return m_section; }
    [[nodiscard]] const GbkText& registryKey() const { return m_registryKey; }
    [[nodiscard]] bool busy() const { return m_busy; }
    [[nodiscard]] std::size_t pendingWrites() const { return m_pending.size(); }
    // The ".ibn" file of key in the current section (native path; empty without a path).
    [[nodiscard]] std::filesystem::path byteFilePath(const GbkText& key) const;
    // The settings file read beneath the opened one (GBK), empty when there is none.
    [[nodiscard]] const GbkText& basePath() const { return m_basePath; }

    // Above this size of settings text an edit counts as long, and the store lets the user
    // interface process its pending events while it is carried out.
    static constexpr std::size_t kLongEditBytes = 256 * 1024;

private:
    friend struct SettingsStoreTestAccess;

    struct PendingWrite {
        std::uint64_t id = 0;
        GbkText section;
        GbkText key;
        GbkText value;
    };

    bool queueWrite(const GbkText& key, const GbkText& encodedValue);
    bool carryOut(const PendingWrite& write);
    bool findValue(const GbkText& key, GbkText& value) const;
    [[nodiscard]] std::filesystem::path byteFileIn(const std::filesystem::path& settingsFile, const GbkText& key) const;
    // Loads a settings file for reading; false (and the user told) when it exists but
    // cannot be read.
    bool loadText(const std::filesystem::path& native, const GbkText& shownPath, GbkText& text);
    bool persist();
    void warn(const GbkText& text, const GbkText& title);
    void deliverWarnings();

    // Groups the writes of one window save into one replacement of the file.
    void beginBatch();
    void endBatch();

    GbkText m_buffer;
    std::filesystem::path m_nativePath;
    GbkText m_openedPath;
    bool m_busy = false;
    std::deque<PendingWrite> m_pending;
    GbkText m_storagePath;
    GbkText m_section;
    int m_kind = StorageFile;
    GbkText m_registryKey;
    GbkText m_basePath;
    std::filesystem::path m_nativeBasePath;
    GbkText m_baseBuffer;

    bool m_open = false;
    FileLock m_lock;
    std::map<GbkText, GbkText> m_registry;            // kind 2 (and no file): key path -> stored text
    std::map<std::filesystem::path, std::string> m_heldBytes; // bytes that could not go to disk
    ui::Ui* m_ui = nullptr;
    std::vector<std::pair<GbkText, GbkText>> m_undelivered;
    std::uint64_t m_nextWriteId = 1;
    std::uint64_t m_generation = 0;
    int m_batchDepth = 0;
    bool m_dirty = false;
    bool m_diskErrorShown = false;
    bool m_forceSectionMiss = false; // lets tests drive the section-append guard
};

} // namespace quillet::settings
