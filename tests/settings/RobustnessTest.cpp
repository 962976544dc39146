// Damaged files, files the store cannot own, and kills in the middle of a series of writes.
#include "settings/SettingsStore.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"
#include "text/Paths.h"
#include "ui/HeadlessUi.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quillet::settings {
namespace {

using testsupport::readFileBytes;
using testsupport::TempFolder;
using testsupport::writeFileBytes;

// Reads and writes through a store opened on a file of the given content, and checks that
// reads give stored values or defaults and that writes land and read back.
void expectUsable(const std::string& content, const GbkText& section, const GbkText& storedKey,
                  const GbkText& storedValue)
{
    TempFolder folder;
    writeFileBytes(folder.file("s.ini"), content);
    ui::HeadlessUi ui;
    SettingsStore store;
    store.setUi(&ui);
    ASSERT_TRUE(store.openStore(folder.gbkFile("s.ini")));
    store.selectSection(section);
    if (!storedKey.empty()) {
        EXPECT_EQ(store.readText(storedKey, "default"), storedValue);
    }
    EXPECT_EQ(store.readText("absent", "default"), "default");
    EXPECT_EQ(store.readNumber("absent", 3), 3);
    EXPECT_TRUE(store.writeText("new", "value"));
    EXPECT_TRUE(store.writeText("new", "changed"));
    EXPECT_EQ(store.readText("new"), "changed");
    EXPECT_EQ(readFileBytes(folder.file("s.ini")), store.wholeText());
    SettingsStore again;
    ASSERT_TRUE(again.openStore(folder.gbkFile("s.ini"), StorageMemoryCopy));
    again.selectSection(section);
    EXPECT_EQ(again.readText("new"), "changed");
    EXPECT_TRUE(ui.messages().empty());
}

TEST(DamagedFiles, ReadsGiveValuesOrDefaultsAndWritesStillWork)
{
    std::mt19937 random(7);
    std::string garbage(64 * 1024, '\0');
    for (auto& c : garbage)
        c = static_cast<char>(random() & 0xFF);
    expectUsable(garbage, "s", {}, {});

    // Lines ended by LF only (another system's editor) are lines too.
    expectUsable("[s]\nk=1\nj=2\n", "s", "k", "1");

    // The same section twice: the first one is the section.
    expectUsable("[s]\r\nk=first\r\n[t]\r\nx=1\r\n[s]\r\nk=second\r\nonly=later", "s", "k", "first");

    // A header without its "]" is no header of that section.
    expectUsable("[s\r\nk=1", "s", "k", "default");
    expectUsable("[s]\r\nk=1\r\n[broken\r\nk2=2", "s", "k", "1");

    // A lone lead byte at the very end.
    expectUsable("[s]\r\nk=\xC4", "s", "k", "\xC4");
}

TEST(DamagedFiles, LfOnlyFileIsReadAndRewrittenWithCrLfWithoutSecondCopies)
{
    TempFolder folder;
    writeFileBytes(folder.file("s.ini"), "[s]\nk=1\nj=2\n[t]\nk=3\n");
    SettingsStore store;
    ASSERT_TRUE(store.openStore(folder.gbkFile("s.ini")));
    store.selectSection("t");
    EXPECT_EQ(store.readText("k"), "3");
    store.selectSection("s");
    EXPECT_TRUE(store.writeText("k", "changed"));
    EXPECT_EQ(readFileBytes(folder.file("s.ini")), "[s]\r\nk=changed\r\nj=2\r\n[t]\r\nk=3\r\n");

    // In a file of CR LF lines a lone LF belongs to its value.
    writeFileBytes(folder.file("v.ini"), "[s]\r\nk=a\nb");
    SettingsStore mixed;
    ASSERT_TRUE(mixed.openStore(folder.gbkFile("v.ini")));
    mixed.selectSection("s");
    EXPECT_EQ(mixed.readText("k"), "a\nb");
}

TEST(DamagedFiles, TwentyMegabyteValue)
{
    const std::string huge(20 * 1024 * 1024, 'v');
    expectUsable("[s]\r\nbig=" + huge + "\r\nk=1", "s", "k", "1");
    TempFolder folder;
    writeFileBytes(folder.file("s.ini"), "[s]\r\nbig=" + huge);
    SettingsStore store;
    ASSERT_TRUE(store.openStore(folder.gbkFile("s.ini")));
    store.selectSection("s");
    EXPECT_EQ(store.readText("big").size(), huge.size());
    EXPECT_TRUE(store.writeText("big", "small"));
    EXPECT_EQ(readFileBytes(folder.file("s.ini")), "[s]\r\nbig=small");
}

TEST(HeldFiles, SecondInstanceReadsButIsToldItsChangesAreNotSaved)
{
    TempFolder folder;
    SettingsStore first;
    ASSERT_TRUE(first.openStore(folder.gbkFile("s.ini")));
    first.selectSection("s");
    ASSERT_TRUE(first.writeText("k", "from first"));

    ui::HeadlessUi ui;
    SettingsStore second;
    second.setUi(&ui);
    EXPECT_FALSE(second.openStore(folder.gbkFile("s.ini")));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].text.find(folder.gbkFile("s.ini")), std::string::npos);
    second.selectSection("s");
    EXPECT_EQ(second.readText("k"), "from first");
    EXPECT_FALSE(second.writeText("k", "from second")); // reported, not silently lost
    EXPECT_EQ(second.readText("k"), "from second");     // this run still sees its own change
    EXPECT_FALSE(second.writeBytes("b", "bytes"));
    EXPECT_EQ(second.readBytes("b"), "bytes");
    EXPECT_FALSE(std::filesystem::exists(second.byteFilePath("b")));
    EXPECT_EQ(readFileBytes(folder.file("s.ini")), "[s]\r\nk=from first");

    EXPECT_TRUE(first.writeText("k", "still first"));
    EXPECT_EQ(readFileBytes(folder.file("s.ini")), "[s]\r\nk=still first");

    // Once the first lets go, a new opening holds the file.
    first.closeStore();
    EXPECT_TRUE(second.openStore(folder.gbkFile("s.ini")));
    EXPECT_EQ(ui.messages().size(), 1u);
}

TEST(HeldFiles, UnwritablePlaceIsReportedOnceAVisibleUiExists)
{
    TempFolder folder;
    writeFileBytes(folder.file("plain"), "x");
    SettingsStore store;
    // The folder of the settings path is a file: nothing can be created there.
    EXPECT_FALSE(store.openStore(folder.gbkFile("plain/s.ini")));
    ui::HeadlessUi ui;
    store.setUi(&ui); // the warning given before a Ui existed is shown now
    ASSERT_EQ(ui.messages().size(), 1u);
    store.selectSection("s");
    EXPECT_FALSE(store.writeText("k", "v"));
    EXPECT_EQ(store.readText("k"), "v");
}

TEST(HeldFiles, UnreadableFileIsNeverWrittenAndReadOnlyFileIsStillRead)
{
    namespace fs = std::filesystem;
    TempFolder folder;
    const std::string stored = "[s]\r\nk=stored";
    writeFileBytes(folder.file("unreadable.ini"), stored);
    writeFileBytes(folder.file("readonly.ini"), stored);
    fs::permissions(folder.file("unreadable.ini"), fs::perms::owner_write, fs::perm_options::replace);
    fs::permissions(folder.file("readonly.ini"), fs::perms::owner_read, fs::perm_options::replace);
    const std::string failures = testsupport::runAsOrdinaryUser(folder.path(), [&] {
        testsupport::CheckLog log;
        for (const std::string name : {"unreadable.ini", "readonly.ini"}) {
            ui::HeadlessUi ui;
            SettingsStore store;
            store.setUi(&ui);
            log.check(!store.openStore(folder.gbkFile(name)), name + " opened for writing");
            store.selectSection("s");
            log.check(store.readText("k") == (name == "readonly.ini" ? "stored" : ""), name + " read wrongly");
            log.check(!store.writeText("k", "new") && !store.writeText("j", "2"), name + " write reported saved");
            log.check(ui.messages().size() == 1, name + " not told exactly once");
        }
        return log.failures();
    });
    EXPECT_EQ(failures, "");
    EXPECT_EQ(readFileBytes(folder.file("unreadable.ini")), stored);
    EXPECT_EQ(readFileBytes(folder.file("readonly.ini")), stored);
}

TEST(HeldFiles, FailedDiskWriteIsToldOnceAndMadeGoodByTheNextSuccess)
{
    TempFolder folder;
    const auto dir = folder.path() / "conf";
    std::filesystem::create_directories(dir);
    ui::HeadlessUi ui;
    SettingsStore store;
    store.setUi(&ui);
    ASSERT_TRUE(store.openStore(text::fromNativePath(dir / "s.ini")));
    store.selectSection("s");
    ASSERT_TRUE(store.writeText("a", "1"));

    std::filesystem::remove_all(dir); // the folder vanishes under the running program
    EXPECT_FALSE(store.writeText("b", "2"));
    EXPECT_FALSE(store.writeText("c", "3"));
    EXPECT_EQ(ui.messages().size(), 1u);

    std::filesystem::create_directories(dir);
    EXPECT_TRUE(store.writeText("d", "4"));
    EXPECT_EQ(readFileBytes(dir / "s.ini"), "[s]\r\nd=4\r\nc=3\r\nb=2\r\na=1");
}

// Parses a settings file strictly: every line is a header or key=value, no key twice in a
// section. Returns false on a torn or unknown line.
bool parseStrict(const std::string& text, std::map<std::string, std::string>& values)
{
    std::size_t pos = 0;
    std::string section;
    while (pos <= text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.front() == '[') {
            if (line.back() != ']')
                return false;
            section = line.substr(1, line.size() - 2);
        } else {
            const auto eq = line.find('=');
            if (eq == std::string::npos || section.empty())
                return false;
            if (!values.emplace(line.substr(0, eq), line.substr(eq + 1)).second)
                return false;
        }
        pos = end + 2;
    }
    return true;
}

TEST(CrashSafety, KillDuringLongSeriesOfWritesLeavesOldOrNewValueOfEveryKey)
{
    constexpr int kKeys = 40;
    const std::string padding(300, 'p');
    auto valueOf = [&](int round, int key) { return "r" + std::to_string(round) + "k" + std::to_string(key) + padding; };

    for (int attempt = 0; attempt < 6; ++attempt) {
        TempFolder folder;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            SettingsStore store;
            if (!store.openStore(folder.gbkFile("s.ini")))
                ::_exit(2);
            store.selectSection("s");
            for (int round = 0;; ++round) {
                for (int key = 0; key < kKeys; ++key)
                    if (!store.writeText("key" + std::to_string(key), valueOf(round, key)))
                        ::_exit(3);
                if (round == 0) {
                    const char byte = 1;
                    if (::write(ready[1], &byte, 1) != 1)
                        ::_exit(4);
                }
            }
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the writer did not start";
        ::close(ready[0]);
        ::usleep(static_cast<useconds_t>(3000 + attempt * 7000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";

        const std::string text = readFileBytes(folder.file("s.ini"));
        std::map<std::string, std::string> values;
        ASSERT_TRUE(parseStrict(text, values)) << "torn file after a kill";
        ASSERT_EQ(values.size(), static_cast<std::size_t>(kKeys));
        // Keys are written in order, so the rounds seen form one step: a prefix of keys holds
        // round r + 1 (new) and the rest round r (old).
        int previousRound = -1;
        int firstRound = -1;
        for (int key = 0; key < kKeys; ++key) {
            const std::string& value = values["key" + std::to_string(key)];
            const int round = std::stoi(value.substr(1));
            ASSERT_EQ(value, valueOf(round, key));
            if (key == 0)
                firstRound = round;
            else
                ASSERT_LE(round, previousRound);
            ASSERT_GE(round, firstRound - 1);
            previousRound = round;
        }
    }
}

} // namespace
} // namespace quillet::settings
