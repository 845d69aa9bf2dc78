#include "settings/SettingsStore.h"
#include "TempSettings.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vireo;

TEST(SettingsStore, FirstReaderFallbackIsCachedForAMissingKey) {
    test::TempSettings temp;
    EXPECT_EQ(Settings().GetInt("absent", 0), 0);
    EXPECT_EQ(Settings().GetInt("absent", 1), 0);
    EXPECT_EQ(Settings().GetString("nostring", "a"), "a");
    EXPECT_EQ(Settings().GetString("nostring", "b"), "a");
    // Nothing was written for a read.
    temp.Reopen();
    EXPECT_EQ(Settings().GetInt("absent", 1), 1);
}

TEST(SettingsStore, WritesReachTheFileAtOnce) {
    test::TempSettings temp;
    Settings().SetInt(keys::MaxDown, 7);
    Settings().SetString(keys::DownPath, "/tmp/a b,c");
    EXPECT_EQ(Settings().GetInt(keys::MaxDown), 7);
    SettingsStore other(temp.ConfigPath());
    EXPECT_EQ(other.GetInt(keys::MaxDown), 7);
    EXPECT_EQ(other.GetString(keys::DownPath), "/tmp/a b,c");
    // Key names keep their case.
    EXPECT_EQ(other.GetInt("MaxDown", -5), -5);
}

TEST(SettingsStore, ABatchWritesTheFileOnceWhenItsLastScopeEnds) {
    test::TempSettings temp;
    QFileInfo file(temp.ConfigPath());
    {
        SettingsStore::Batch outer(Settings());
        {
            SettingsStore::Batch inner(Settings());
            Settings().SetInt(keys::MaxDown, 9);
            Settings().SetString(keys::DownPath, "/tmp/batch");
        }
        EXPECT_EQ(Settings().GetInt(keys::MaxDown), 9); // the store answers at once
        file.refresh();
        EXPECT_FALSE(file.exists() && file.size() > 0); // the file waits for the batch
    }
    SettingsStore other(temp.ConfigPath());
    EXPECT_EQ(other.GetInt(keys::MaxDown), 9);
    EXPECT_EQ(other.GetString(keys::DownPath), "/tmp/batch");
}

TEST(SettingsStore, AValueWrittenAgainUnchangedLeavesTheFileAlone) {
    test::TempSettings temp;
    Settings().SetInt(keys::MaxDown, 4);
    Settings().SetString(keys::Cwd, "/home/u");
    temp.Reopen(); // values as read back from the file
    // A second name keeps the file's first inode alive, so a rewrite cannot reuse it.
    QByteArray path = temp.ConfigPath().toLocal8Bit();
    QByteArray probe = path + ".probe";
    ASSERT_EQ(::link(path.constData(), probe.constData()), 0);
    auto same = [&] {
        struct stat a {
        }, b{};
        return ::stat(path.constData(), &a) == 0 && ::stat(probe.constData(), &b) == 0 &&
               a.st_ino == b.st_ino;
    };
    Settings().SetInt(keys::MaxDown, 4);
    Settings().SetString(keys::Cwd, "/home/u");
    EXPECT_TRUE(same()); // every write replaces the file, so none happened
    Settings().SetString(keys::Cwd, "/home/v");
    EXPECT_FALSE(same());
    SettingsStore other(temp.ConfigPath());
    EXPECT_EQ(other.GetString(keys::Cwd), "/home/v");
    EXPECT_EQ(other.GetInt(keys::MaxDown), 4);
}

TEST(SettingsStore, StoresUnderSectionSetup) {
    test::TempSettings temp;
    Settings().SetInt(keys::Timeout, 40);
    QSettings raw(temp.ConfigPath(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("setup/timeout").toInt(), 40);
}

TEST(SettingsStore, RectanglesParseWhatTheyCanAndKeepDefaultsForTheRest) {
    test::TempSettings temp;
    const Rect def{1, 2, 3, 4};
    struct Case {
        const char* stored;
        Rect expected;
    } cases[] = {
        {"10 20 300 400", {10, 20, 300, 400}},
        {"-1 -1 -1 -1", {-1, -1, -1, -1}},
        {"5 6", {5, 6, 3, 4}},
        {"garbage", def},
        {"", def},
        {"7 x 9 9", {7, 2, 3, 4}},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string key = "rect" + std::to_string(n++);
        if (*c.stored)
            Settings().SetString(key, c.stored);
        EXPECT_EQ(Settings().GetRect(key, def), c.expected) << c.stored;
    }
    Settings().SetRect(keys::MainWndRect, {-1, -1, -1, -1});
    EXPECT_EQ(Settings().GetString(keys::MainWndRect.name, ""), "-1 -1 -1 -1");
    EXPECT_TRUE(Settings().GetRect(keys::MainWndRect, def).IsMaximized());
}

TEST(SettingsStore, DefaultPathFollowsVireoConfig) {
    test::TempSettings temp;
    setenv("VIREO_CONFIG", "/x/y.conf", 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), "/x/y.conf");
    unsetenv("VIREO_CONFIG");
    EXPECT_EQ(SettingsStore::DefaultPath(),
              QString::fromStdString(temp.Path("/user/.config/Tarnwell/Vireo.conf")));
}

TEST(SettingsStore, RunOverridesAnswerReadsButAreNeverStored) {
    test::TempSettings temp;
    Settings().SetInt(keys::MaxDown, 5);
    Settings().SetString(keys::DownPath, "/stored");
    Settings().OverrideInt(keys::MaxDown, 3);
    Settings().OverrideString(keys::DownPath, "/for/this/run");
    EXPECT_EQ(Settings().GetInt(keys::MaxDown), 3);
    EXPECT_EQ(Settings().GetString(keys::DownPath), "/for/this/run");
    // A write during the run (a first run, a replaced directory) reaches the file but
    // does not end the override.
    Settings().SetInt(keys::MaxDown, 9);
    EXPECT_EQ(Settings().GetInt(keys::MaxDown), 3);
    SettingsStore other(temp.ConfigPath());
    EXPECT_EQ(other.GetInt(keys::MaxDown), 9);
    EXPECT_EQ(other.GetString(keys::DownPath), "/stored");
}
