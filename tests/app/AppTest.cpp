// Start-up state: the settings path rule and the store opened on it.
#include "app/App.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"
#include "text/Paths.h"
#include "ui/HeadlessUi.h"
#include "ui/MainWindow.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <gtest/gtest.h>

namespace quillet::app {
namespace {

namespace fs = std::filesystem;
using testsupport::readFileBytes;
using testsupport::ScopedEnvironment;
using testsupport::TempFolder;
using testsupport::writeFileBytes;

TEST(App, StartsWithSharedObjectsAndNoName)
{
    ScopedEnvironment noOverride(kSettingsPathVariable, nullptr);
    App app;
    EXPECT_TRUE(app.programName.empty());
    EXPECT_TRUE(app.settingsPath.empty());
    EXPECT_FALSE(app.stopRequested);
    EXPECT_NE(app.webClient, nullptr);
    EXPECT_FALSE(app.settings.isOpen());
    EXPECT_EQ(defaultProgramName(), "\xC4\xAB\xCD\xA1\xA1\xA4Quillet");
}

TEST(App, SettingsPathRule)
{
    TempFolder folder;
    const GbkText name = gbk("墨汀·Quillet");
    const fs::path exeDir = folder.path() / "my tools 工具";
    fs::create_directories(exeDir);
    const fs::path config = folder.path() / "config";

    // Beside the program, the folder's spaces and Chinese characters unchanged.
    EXPECT_EQ(resolveSettingsLocation(name, exeDir, {}, config).path, text::fromNativePath(exeDir / "墨汀·Quillet.ini"));
    // An override wins.
    EXPECT_EQ(resolveSettingsLocation(name, exeDir, folder.path() / "x.ini", config).path,
              text::fromNativePath(folder.path() / "x.ini"));
    // A program folder that cannot be written: the user's configuration folder, created.
    writeFileBytes(folder.path() / "not-a-folder", "");
    EXPECT_EQ(resolveSettingsLocation(name, folder.path() / "not-a-folder", {}, config).path,
              text::fromNativePath(config / "quillet" / "墨汀·Quillet.ini"));
    EXPECT_TRUE(fs::is_directory(config / "quillet"));
    // No executable folder known at all.
    EXPECT_EQ(resolveSettingsLocation(name, {}, {}, config).path, text::fromNativePath(config / "quillet" / "墨汀·Quillet.ini"));

    {
        ScopedEnvironment noOverride(kSettingsPathVariable, nullptr);
        EXPECT_EQ(settingsLocationFor(name).path, text::fromNativePath(text::executableFolder() / "墨汀·Quillet.ini"));
    }
    {
        ScopedEnvironment xdg("XDG_CONFIG_HOME", config.c_str());
        EXPECT_EQ(userConfigHome(), config);
    }
    {
        ScopedEnvironment relative("XDG_CONFIG_HOME", "relative/path");
        EXPECT_EQ(userConfigHome(), text::toNativePath(text::homeFolder()) / ".config");
    }
}

TEST(App, StoredSettingsAreReadWhereverTheyAreAndChangesKept)
{
    TempFolder folder;
    const GbkText name = gbk("墨汀·Quillet");
    const fs::path config = folder.path() / "config";
    // A program folder named in raw GBK bytes, as an archive unpacked from Windows leaves it.
    const fs::path gbkFolder = folder.path() / "\xC4\xAB\xCD\xA1";
    const fs::path readOnlyFolder = folder.path() / "tools";
    fs::create_directories(gbkFolder);
    fs::create_directories(readOnlyFolder);
    writeFileBytes(readOnlyFolder / "墨汀·Quillet.ini", "[s]\r\nk=stored\r\nkept=1");
    fs::permissions(readOnlyFolder / "墨汀·Quillet.ini", fs::perms::owner_read | fs::perms::group_read,
                    fs::perm_options::replace);

    const std::string failures = testsupport::runAsOrdinaryUser(folder.path(), [&] {
        testsupport::CheckLog log;
        const SettingsLocation raw = resolveSettingsLocation(name, gbkFolder, {}, config);
        {
            settings::SettingsStore store;
            log.check(store.openStore(raw.path), "raw GBK folder not writable");
            store.selectSection("s");
            log.check(store.writeText("k", "v"), "raw GBK folder write failed");
        }
        log.check(readFileBytes(gbkFolder / "墨汀·Quillet.ini") == "[s]\r\nk=v", "not saved beside the program");

        // A read-only file beside the program: read beneath the configuration folder's file.
        const SettingsLocation location = resolveSettingsLocation(name, readOnlyFolder, {}, config);
        log.check(location.basePath == text::fromNativePath(readOnlyFolder / "墨汀·Quillet.ini"), "stored file ignored");
        for (int run = 0; run < 2; ++run) {
            ui::HeadlessUi ui;
            settings::SettingsStore store;
            store.setUi(&ui);
            log.check(store.openStoreOver(location.path, location.basePath), "fallback not writable");
            store.selectSection("s");
            log.check(store.readText("kept") == "1", "stored value not read");
            log.check(store.readText("k") == (run == 0 ? "stored" : "changed"), "changed value not read first");
            log.check(store.writeText("k", "changed"), "change not saved");
            log.check(ui.messages().empty(), "needless message");
        }
        return log.failures();
    });
    EXPECT_EQ(failures, "");
    EXPECT_EQ(readFileBytes(readOnlyFolder / "墨汀·Quillet.ini"), "[s]\r\nk=stored\r\nkept=1");
    EXPECT_EQ(readFileBytes(config / "quillet" / "墨汀·Quillet.ini"), "[s]\r\nk=changed");
}

TEST(App, SetProgramNameOpensTheStoreAndCanBeRepeated)
{
    TempFolder folder;
    const fs::path first = folder.path() / "first.ini";
    const fs::path second = folder.path() / "second.ini";
    ui::HeadlessUi ui;
    App app;
    app.setUi(&ui);
    {
        ScopedEnvironment override(kSettingsPathVariable, first.c_str());
        app.setProgramName(defaultProgramName());
    }
    EXPECT_EQ(app.programName, defaultProgramName());
    EXPECT_EQ(app.settingsPath, text::fromNativePath(first));
    ASSERT_TRUE(app.settings.savesToDisk());
    app.settings.selectSection("s");
    ASSERT_TRUE(app.settings.writeText("k", "v"));
    EXPECT_EQ(readFileBytes(first), "[s]\r\nk=v");

    {
        ScopedEnvironment override(kSettingsPathVariable, second.c_str());
        app.setProgramName("other");
    }
    EXPECT_EQ(app.programName, "other");
    EXPECT_EQ(app.settingsPath, text::fromNativePath(second));
    EXPECT_TRUE(fs::exists(second));
    // The first file was let go: another store may hold it now.
    settings::SettingsStore other;
    EXPECT_TRUE(other.openStore(text::fromNativePath(first)));
    EXPECT_TRUE(ui.messages().empty());
}

TEST(App, FirstStartWithoutSettingsKeepsEveryDefault)
{
    TempFolder folder;
    ScopedEnvironment override(kSettingsPathVariable, (folder.path() / "new.ini").c_str());
    App app;
    app.setProgramName(defaultProgramName());
    ui::Window w = ui::makeMainWindow();
    const ui::Window defaults = ui::makeMainWindow();
    app.settings.restoreWindowControls(w, ui::mainWindowSection());
    for (std::size_t i = 0; i < w.size(); ++i) {
        EXPECT_EQ(w.at(i).text(), defaults.at(i).text());
        EXPECT_EQ(w.at(i).checked(), defaults.at(i).checked());
        EXPECT_EQ(w.at(i).selectedIndex(), defaults.at(i).selectedIndex());
    }
    EXPECT_EQ(w.find(gbk("组合框类型"))->selectedIndex(), 1);
}

TEST(App, EndpointsSectionOverridesHostsAndKeepsTheRest)
{
    TempFolder folder;
    const fs::path ini = folder.path() / "endpoints.ini";
    writeFileBytes(ini, "[Quillet]\r\nx=1\r\n[Endpoints]\r\nmallRateHost=rate.example.test\r\n"
                        "connectTo=item.taobao.com:80:127.0.0.1:8080,bad entry\r\n");
    const web::Endpoints saved = web::currentEndpoints();
    ui::HeadlessUi ui;
    App app;
    app.setUi(&ui);
    {
        ScopedEnvironment override(kSettingsPathVariable, ini.c_str());
        app.setProgramName(defaultProgramName());
    }
    const web::Endpoints now = web::currentEndpoints();
    web::setCurrentEndpoints(saved);
    EXPECT_EQ(now.mallRateHost, "rate.example.test");
    EXPECT_EQ(now.marketRateHost, web::Endpoints().marketRateHost);
    ASSERT_EQ(now.connectTo.size(), 1u);
    EXPECT_EQ(now.connectTo[0], "item.taobao.com:80:127.0.0.1:8080");
    // Reading the section left the store where the window code expects it.
    EXPECT_NE(app.settings.section(), endpointsSection());
}

} // namespace
} // namespace quillet::app
