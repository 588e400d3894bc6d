#include "platform/SettingsStore.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

class IniSettingsStoreTest : public ::testing::Test
{
protected:
    QString Path() const { return dir.QPath() + QStringLiteral("/ORVANTA_VEXA/settings.ini"); }

    void WriteFile(const QByteArray& content)
    {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QByteArray ReadFile()
    {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempDir dir;
};

TEST_F(IniSettingsStoreTest, DefaultPathFollowsXdgConfigHome)
{
    qputenv("XDG_CONFIG_HOME", dir.QPath().toUtf8());
    EXPECT_EQ(IniSettingsStore::DefaultFilePath(), Path());
}

TEST_F(IniSettingsStoreTest, WritesOneSectionPerKeyInPlainText)
{
    IniSettingsStore store(Path());
    EXPECT_FALSE(store.KeyExists(L"LogOption"));
    ASSERT_TRUE(store.CreateKey(L"LogOption"));
    ASSERT_TRUE(store.WriteDword(L"LogOption", L"Orvanta.txt", 1));
    ASSERT_TRUE(store.WriteString(L"Install", L"Version", L"001002003"));
    const QByteArray text = ReadFile();
    EXPECT_TRUE(text.contains("[LogOption]\nOrvanta.txt=1\n")) << text.constData();
    EXPECT_TRUE(text.contains("[Install]\nVersion=001002003\n")) << text.constData();
    EXPECT_TRUE(store.KeyExists(L"LogOption"));
}

TEST_F(IniSettingsStoreTest, ReadsHandEditedFileAndSeesLaterEdits)
{
    IniSettingsStore store(Path());
    ASSERT_TRUE(store.CreateKey(L"LogOption"));
    WriteFile("[LogOption]\nOrvanta.txt=2\nOrvantaStart.txt = yes\n\n[Install]\nVersion=001002003\n");
    EXPECT_EQ(store.ReadDword(L"LogOption", L"Orvanta.txt"), 2u);
    EXPECT_EQ(store.ReadDword(L"LogOption", L"OrvantaStart.txt"), 0u);  // present, not a number
    EXPECT_EQ(store.ReadDword(L"LogOption", L"Other.txt"), std::nullopt);
    EXPECT_EQ(store.ReadString(L"Install", L"Version"), L"001002003");

    // A support engineer edits the file while the program runs.
    WriteFile("[LogOption]\nOrvanta.txt=1\n");
    EXPECT_EQ(store.ReadDword(L"LogOption", L"Orvanta.txt"), 1u);
    EXPECT_EQ(store.ReadString(L"Install", L"Version"), std::nullopt);
    EXPECT_FALSE(store.KeyExists(L"Install"));
}

TEST_F(IniSettingsStoreTest, RemovesValueAndKeepsOthers)
{
    IniSettingsStore store(Path());
    store.WriteString(L"Install", L"InitStart", L"1");
    store.WriteString(L"Install", L"Version", L"001002003");
    ASSERT_TRUE(store.RemoveValue(L"Install", L"InitStart"));
    EXPECT_EQ(store.ReadString(L"Install", L"InitStart"), std::nullopt);
    EXPECT_EQ(store.ReadString(L"Install", L"Version"), L"001002003");
}

TEST_F(IniSettingsStoreTest, UnwritableLocationFailsCleanly)
{
    QFile blocker(dir.QPath() + QStringLiteral("/ORVANTA_VEXA"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder should be
    blocker.close();
    IniSettingsStore store(Path());
    EXPECT_FALSE(store.CreateKey(L"LogOption"));
    EXPECT_FALSE(store.WriteString(L"LogOption", L"Orvanta.txt", L"1"));
    EXPECT_EQ(store.ReadString(L"LogOption", L"Orvanta.txt"), std::nullopt);
}

}  // namespace
