// The settings file's layout and the value encodings, seen through the store's operations.
#include "settings/SettingsStore.h"
#include "StoreTestAccess.h"
#include "support/TempFolder.h"
#include "ui/HeadlessUi.h"

#include <gtest/gtest.h>

namespace quillet::settings {
namespace {

using testsupport::readFileBytes;
using testsupport::TempFolder;
using testsupport::writeFileBytes;

class FileFormat : public ::testing::Test {
protected:
    void open()
    {
        store.setUi(&ui);
        ASSERT_TRUE(store.openStore(folder.gbkFile("s.ini"), StorageFile));
    }
    std::string onDisk() const { return readFileBytes(folder.file("s.ini")); }

    TempFolder folder;
    ui::HeadlessUi ui;
    SettingsStore store;
};

TEST_F(FileFormat, FirstWritesGiveHeaderThenNewestKeyFirstWithoutTrailingLineBreak)
{
    open();
    store.selectSection("Quillet");
    EXPECT_TRUE(store.writeText("a", "1"));
    EXPECT_EQ(onDisk(), "[Quillet]\r\na=1");
    EXPECT_TRUE(store.writeText("b", "2"));
    EXPECT_EQ(onDisk(), "[Quillet]\r\nb=2\r\na=1");
    // Changing a value edits it where it stands.
    EXPECT_TRUE(store.writeText("a", "longer value"));
    EXPECT_EQ(onDisk(), "[Quillet]\r\nb=2\r\na=longer value");
    // A new section goes to the end, after a CR LF.
    store.selectSection("Other");
    EXPECT_TRUE(store.writeText("a", ""));
    EXPECT_EQ(onDisk(), "[Quillet]\r\nb=2\r\na=longer value\r\n[Other]\r\na=");
    EXPECT_EQ(store.wholeText(), onDisk());
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(FileFormat, LineBreaksAreStoredOnOneLineAndComeBack)
{
    open();
    store.selectSection("s");
    const GbkText value = gbk("第一行\r\n第二行\r\n");
    ASSERT_TRUE(store.writeText("k", value));
    // "┊*┊" in GBK is A9 AE 2A A9 AE.
    EXPECT_EQ(onDisk(), "[s]\r\nk=" + gbk("第一行") + "\xA9\xAE*\xA9\xAE" + gbk("第二行") + "\xA9\xAE*\xA9\xAE");
    EXPECT_EQ(store.readText("k"), value);
    // A line break behind a byte that would start a character (text that is not valid GBK).
    const GbkText broken = "\xFF\r\nx\x81\r\n";
    ASSERT_TRUE(store.writeText("b", broken));
    EXPECT_EQ(store.readText("b"), broken);
    SettingsStore reopened;
    ASSERT_TRUE(reopened.openStore(folder.gbkFile("s.ini"), StorageMemoryCopy));
    reopened.selectSection("s");
    EXPECT_EQ(reopened.readText("k"), value);
    EXPECT_EQ(reopened.readText("b"), broken);
}

TEST_F(FileFormat, HeadersCountOnlyAtLineStartAndKeysStayInTheirSection)
{
    writeFileBytes(folder.file("s.ini"), "[a]\r\nx=[b]\r\ny=1\r\n[b]\r\nz=2\r\n[c]\r\nY=3");
    open();
    store.selectSection("b");
    EXPECT_EQ(store.readText("z"), "2");
    EXPECT_EQ(store.readText("y", "none"), "none"); // y lies under [a], before the real [b]
    store.selectSection("a");
    EXPECT_EQ(store.readText("y"), "1");
    EXPECT_EQ(store.readText("z", "none"), "none"); // a later section's key is not found
    store.selectSection("c");
    EXPECT_EQ(store.readText("y", "none"), "none"); // letter case counts
    EXPECT_EQ(store.readText("Y"), "3");
    store.selectSection("A");
    EXPECT_EQ(store.readText("y", "none"), "none");
}

TEST_F(FileFormat, ValueKindsAndDefaults)
{
    open();
    store.selectSection("v");
    EXPECT_TRUE(store.writeNumber("whole", 42));
    EXPECT_TRUE(store.writeNumber("fraction", 0.01));
    EXPECT_TRUE(store.writeNumber("negative", -3));
    EXPECT_TRUE(store.writeBool("yes", true));
    EXPECT_TRUE(store.writeBool("no", false));
    EXPECT_TRUE(store.writeText("empty", ""));
    EXPECT_TRUE(store.writeText("odd", "abc"));
    EXPECT_NE(onDisk().find("\r\nwhole=42"), std::string::npos);
    EXPECT_NE(onDisk().find("\r\nfraction=0.01\r\n"), std::string::npos);
    EXPECT_NE(onDisk().find("yes=" + gbk("真")), std::string::npos);
    EXPECT_NE(onDisk().find("no=" + gbk("假")), std::string::npos);
    EXPECT_EQ(store.readNumber("whole"), 42);
    EXPECT_EQ(store.readNumber("fraction"), 0.01);
    EXPECT_EQ(store.readNumber("negative"), -3);
    EXPECT_EQ(store.readNumber("odd", 7), 0); // unreadable text is 0
    EXPECT_EQ(store.readNumber("missing", 7), 7);
    EXPECT_TRUE(store.readBool("yes"));
    EXPECT_FALSE(store.readBool("odd", true)); // only "真" is true
    EXPECT_TRUE(store.readBoolNotFalse("odd", false));
    EXPECT_FALSE(store.readBoolNotFalse("no", true));
    EXPECT_TRUE(store.readBoolNotFalse("missing"));
    EXPECT_EQ(store.readText("empty", "default"), ""); // a stored empty value is a value
    EXPECT_EQ(store.readText("missing", "default"), "default");
    store.selectSection("absent");
    EXPECT_EQ(store.readText("whole", "d"), "d");
}

TEST_F(FileFormat, BytesLiveInTheirOwnFileBesideTheSettings)
{
    open();
    store.selectSection(gbk("设置"));
    const std::string bytes("\0\r\n\xFF raw", 8);
    ASSERT_TRUE(store.writeBytes(gbk("模板"), bytes));
    const auto expected = folder.path() / "inibin" / "设置-模板.ibn";
    EXPECT_EQ(store.byteFilePath(gbk("模板")), expected);
    EXPECT_EQ(readFileBytes(expected), bytes);
    EXPECT_EQ(onDisk(), ""); // nothing in the INI text
    EXPECT_EQ(store.readBytes(gbk("模板"), "d"), bytes);
    EXPECT_EQ(store.readBytes("missing", "d"), "d");
    writeFileBytes(folder.path() / "inibin" / "设置-empty.ibn", "");
    EXPECT_EQ(store.readBytes("empty", "d"), "d");
    // A key holding a separator stays inside the folder.
    ASSERT_TRUE(store.writeBytes("../x/y", "z"));
    EXPECT_EQ(store.byteFilePath("../x/y").parent_path(), folder.path() / "inibin");
}

TEST_F(FileFormat, WritesArrivingWhileBusyAreCarriedOutLaterInOrder)
{
    open();
    store.selectSection("s");
    bool nestedResults[2] = {true, true};
    std::size_t pendingSeen = 0;
    ui.onNextEvents([&] {
        EXPECT_TRUE(store.busy());
        nestedResults[0] = store.writeText("order", "first");
        nestedResults[1] = store.writeText("order", "second");
        pendingSeen = store.pendingWrites();
        EXPECT_EQ(store.readText("order", "not yet"), "not yet");
    });
    // A value long enough to make the edit long, so the store lets events run.
    const GbkText big(SettingsStore::kLongEditBytes, 'x');
    EXPECT_TRUE(store.writeText("big", big));
    EXPECT_FALSE(nestedResults[0]);
    EXPECT_FALSE(nestedResults[1]);
    EXPECT_EQ(pendingSeen, 2u);
    EXPECT_FALSE(store.busy());
    EXPECT_EQ(store.pendingWrites(), 0u);
    EXPECT_EQ(store.readText("order"), "second");
    EXPECT_EQ(onDisk(), store.wholeText());
    EXPECT_EQ(store.readText("big"), big);
}

TEST_F(FileFormat, SectionAppendGuardWarnsTwiceAndKeepsTheStoreUsable)
{
    open();
    store.selectSection("s");
    SettingsStoreTestAccess::forceSectionMiss(store, true);
    EXPECT_FALSE(store.writeText("k", "v"));
    SettingsStoreTestAccess::forceSectionMiss(store, false);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[0].text, gbk("配置模块出现意外，可能导致无法正常保存！详情请咨询墨汀。"));
    EXPECT_EQ(ui.messages()[0].title, gbk("墨汀："));
    EXPECT_EQ(ui.messages()[1].text, store.wholeText());
    // Eleven headers were appended, and the file shows what the buffer holds.
    std::size_t headers = 0;
    for (std::size_t p = store.wholeText().find("[s]"); p != std::string::npos; p = store.wholeText().find("[s]", p + 1))
        ++headers;
    EXPECT_EQ(headers, 11u);
    EXPECT_EQ(onDisk(), store.wholeText());
    EXPECT_TRUE(store.isOpen());
    EXPECT_TRUE(store.writeText("k", "v"));
    EXPECT_EQ(store.readText("k"), "v");
}

TEST_F(FileFormat, MemoryCopyWritesNothingUntilSavedAs)
{
    writeFileBytes(folder.file("s.ini"), "[s]\r\nk=old");
    ASSERT_TRUE(store.openStore(folder.gbkFile("s.ini"), StorageMemoryCopy));
    store.selectSection("s");
    EXPECT_TRUE(store.writeText("k", "new"));
    EXPECT_EQ(onDisk(), "[s]\r\nk=old");
    EXPECT_TRUE(store.saveCopyAs(folder.gbkFile("copy.ini")));
    EXPECT_EQ(readFileBytes(folder.file("copy.ini")), "[s]\r\nk=new");
    EXPECT_TRUE(store.saveCopyAs());
    EXPECT_EQ(onDisk(), "[s]\r\nk=new");
    store.closeStore();
    EXPECT_EQ(store.wholeText(), "");
    EXPECT_EQ(store.readText("k", "d"), "d");
}

TEST_F(FileFormat, RegistryFormKeepsValuesInMemory)
{
    ASSERT_TRUE(store.openStore(folder.gbkFile("prog.ini"), StorageRegistry));
    store.selectSection(gbk("节"));
    EXPECT_EQ(store.registryKey(), gbk("墨汀软件\\prog\\节\\"));
    EXPECT_TRUE(store.writeText("t", "a\r\nb"));
    EXPECT_TRUE(store.writeNumber("n", 5));
    EXPECT_TRUE(store.writeBytes("b", "raw"));
    EXPECT_EQ(store.readText("t"), "a\r\nb");
    EXPECT_EQ(store.readNumber("n"), 5);
    EXPECT_EQ(store.readBytes("b"), "raw");
    store.selectSection("other");
    EXPECT_EQ(store.readText("t", "d"), "d");
    EXPECT_FALSE(std::filesystem::exists(folder.file("prog.ini")));
}

} // namespace
} // namespace quillet::settings
