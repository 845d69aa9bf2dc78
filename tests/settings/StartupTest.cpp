#include "settings/Startup.h"
#include "TempSettings.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace vireo;

namespace {
struct Messages {
    std::vector<std::pair<std::string, std::string>> shown;
    MessageFn Fn() {
        return [this](const std::string& caption, const std::string& text) {
            shown.emplace_back(caption, text);
        };
    }
};

// Reads the stored file directly, bypassing any cache.
QVariant Stored(const test::TempSettings& temp, const char* key) {
    QSettings raw(temp.ConfigPath(), QSettings::IniFormat);
    return raw.value(QStringLiteral("setup/") + key);
}
} // namespace

TEST(SettingsStartup, FirstStartWritesEveryFirstRunKeyThenVersion) {
    test::TempSettings temp;
    unsetenv("http_proxy");
    setenv("HTTP_PROXY", "http://cache.lan:3128/", 1);
    Messages messages;
    std::string cwd = AppDataDirectory();
    EXPECT_EQ(cwd, temp.Path("/home"));
    RunSettingsStartup(Settings(), cwd, messages.Fn());
    unsetenv("HTTP_PROXY");

    for (const FirstRunValue& v : kFirstRunValues) {
        QVariant stored = Stored(temp, std::string(v.key).c_str());
        ASSERT_TRUE(stored.isValid()) << v.key;
        if (v.isText)
            EXPECT_EQ(stored.toString().toStdString(), v.text) << v.key;
        else
            EXPECT_EQ(stored.toInt(), v.number) << v.key;
    }
    EXPECT_EQ(Stored(temp, "proxy").toInt(), 0); // never switched on by itself
    EXPECT_EQ(Stored(temp, "proxyserver").toString(), "cache.lan");
    EXPECT_EQ(Stored(temp, "proxyport").toInt(), 3128);
    EXPECT_EQ(Stored(temp, "cwd").toString().toStdString(), cwd);
    std::string downloads = temp.Path("/user/Downloads");
    EXPECT_EQ(Stored(temp, "downpath").toString().toStdString(), downloads);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(downloads)).isDir());
    EXPECT_EQ(Stored(temp, "version").toInt(), 1);
    EXPECT_TRUE(messages.shown.empty());
    // Keys the first run does not write stay absent.
    EXPECT_FALSE(Stored(temp, "busyidle").isValid());
    EXPECT_FALSE(Stored(temp, "mwndrect").isValid());
}

TEST(SettingsStartup, AnEnvironmentProxyWithAnImpossiblePortIsNotStored) {
    test::TempSettings temp;
    setenv("http_proxy", "p:9999999999", 1);
    RunSettingsStartup(Settings(), AppDataDirectory(), nullptr);
    unsetenv("http_proxy");
    EXPECT_EQ(Stored(temp, "proxyserver").toString(), "");
    EXPECT_EQ(Stored(temp, "proxyport").toInt(), 80);
}

TEST(SettingsStartup, LaterStartsKeepChangedValuesUntilVersionIsDeleted) {
    test::TempSettings temp;
    std::string cwd = AppDataDirectory();
    RunSettingsStartup(Settings(), cwd, {});
    Settings().SetInt(keys::MaxDown, 9);
    Settings().SetString(keys::PassOnly, "*.zip");

    temp.Reopen();
    RunSettingsStartup(Settings(), cwd, {});
    EXPECT_EQ(Settings().GetInt(keys::MaxDown), 9);
    EXPECT_EQ(Settings().GetString(keys::PassOnly), "*.zip");

    QSettings(temp.ConfigPath(), QSettings::IniFormat).remove("setup/version");
    temp.Reopen();
    RunSettingsStartup(Settings(), cwd, {});
    EXPECT_EQ(Settings().GetInt(keys::MaxDown), 5);
    EXPECT_EQ(Settings().GetString(keys::PassOnly), "*.ra;*.ram;*.rm");
    EXPECT_EQ(Settings().GetInt(keys::Version), 1);
}

TEST(SettingsStartup, MissingDownloadDirectoryIsReplacedAfterTheMessage) {
    test::TempSettings temp;
    std::string cwd = AppDataDirectory();
    RunSettingsStartup(Settings(), cwd, {});
    Settings().SetString(keys::DownPath, "/nonexistent/vireo");
    temp.Reopen();
    Messages messages;
    RunSettingsStartup(Settings(), cwd, messages.Fn());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, "download directory no found");
    EXPECT_EQ(messages.shown[0].second,
              "download directory /nonexistent/vireo\nnot found, setting current as download "
              "directory");
    EXPECT_EQ(Settings().GetString(keys::DownPath), temp.Path("/user/Downloads"));

    // An existing directory passes without a word.
    Settings().SetString(keys::DownPath, temp.Dir());
    temp.Reopen();
    messages.shown.clear();
    RunSettingsStartup(Settings(), cwd, messages.Fn());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Settings().GetString(keys::DownPath), temp.Dir());
}

TEST(SettingsStartup, DataDirectoryFollowsVireoHomeAndIsCreated) {
    test::TempSettings temp;
    setenv("VIREO_HOME", temp.Path("/deep/er/").c_str(), 1);
    EXPECT_EQ(AppDataDirectory(), temp.Path("/deep/er"));
    EXPECT_TRUE(QDir(QString::fromStdString(temp.Path("/deep/er"))).exists());
    unsetenv("VIREO_HOME");
    EXPECT_EQ(AppDataDirectory(), temp.Path("/user/.local/share/Tarnwell/Vireo"));
}
