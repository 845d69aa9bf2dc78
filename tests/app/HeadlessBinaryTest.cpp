// Runs the built program the way a user or a script does.
#include "TempSettings.h"

#include <QProcess>
#include <QSettings>
#include <gtest/gtest.h>

using namespace vireo::test;

namespace {
struct Result {
    int status = -1;
    std::string out, err;
};

Result RunVireo(const TempSettings& temp, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VIREO_CONFIG", temp.ConfigPath());
    env.insert("VIREO_HOME", QString::fromStdString(temp.Path("/home")));
    env.insert("HOME", QString::fromStdString(temp.Path("/user")));
    env.remove("XDG_CONFIG_HOME");
    env.remove("XDG_DATA_HOME");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(env);
    process.start(VIREO_BINARY, args);
    Result r;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return r;
    }
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = process.readAllStandardOutput().toStdString();
    r.err = process.readAllStandardError().toStdString();
    return r;
}
} // namespace

TEST(HeadlessBinary, BadUsageExitsTwoWithOneLine) {
    TempSettings temp;
    for (QStringList args : {QStringList{"--headless", "--frobnicate"}, QStringList{"-j", "99"},
                             QStringList{"--dir"}}) {
        Result r = RunVireo(temp, args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(r.err.rfind("vireo: ", 0), 0u) << r.err;
    }
    // Nothing to fetch is bad usage too.
    Result r = RunVireo(temp, {"--headless"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vireo: no addresses to download\n");
    // A word that is no address is told and skipped; with nothing left the run failed.
    r = RunVireo(temp, {"--headless", "not-an-address", "-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vireo: skipped 'not-an-address': no scheme, and the host has no dot: "
                     "write it as http://not-an-address\n"
                     "vireo: skipped '-': no scheme, and the host has no dot: write it as "
                     "http://-\n");
}

TEST(HeadlessBinary, HelpAndVersion) {
    TempSettings temp;
    Result help = RunVireo(temp, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("-j, --jobs N"), std::string::npos);
    Result version = RunVireo(temp, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("vireo ", 0), 0u);
}

TEST(HeadlessBinary, AFailedDownloadExitsOneListsItAndStoresNoRunOption) {
    TempSettings temp;
    std::string stored = temp.Dir(), dir = temp.Path("/run-dir");
    {
        QSettings seed(temp.ConfigPath(), QSettings::IniFormat);
        seed.setValue("setup/version", 1);
        seed.setValue("setup/maxdown", 4);
        seed.setValue("setup/downpath", QString::fromStdString(stored));
        // Each refused attempt waits out its time-out.
        seed.setValue("setup/timeout", 1);
        seed.setValue("setup/maxattemp", 2);
    }
    // Nothing listens on port 9 of the loopback interface. The failure names its cause
    // and the attempts made, as it happens and again in the summary.
    Result r = RunVireo(temp, {"--headless", "-d", QString::fromStdString(dir), "-j", "7",
                               "http://127.0.0.1:9/file.bin"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const std::string failure = "http://127.0.0.1:9/file.bin: can't establish connection - "
                                "connection refused (2 attempts)\n";
    EXPECT_NE(r.out.find("\nfailed " + failure), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0 done, 1 failed"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "vireo: failed: " + failure);
    QSettings after(temp.ConfigPath(), QSettings::IniFormat);
    EXPECT_EQ(after.value("setup/maxdown").toInt(), 4);
    EXPECT_EQ(after.value("setup/downpath").toString().toStdString(), stored);
}
