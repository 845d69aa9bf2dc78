// The built program on a desktop session: one running copy taking the addresses of later
// starts, the browser's native-messaging host, desktop notifications, the file manager,
// the clipboard watch, and the lock keys read from the X server.
#include "TempSettings.h"
#include "app/gui/LockKeys.h"
#include "app/gui/ShowInFolder.h"
#include "app/host/NativeMessaging.h"
#include "peers/NginxPeer.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"
#include "settings/Startup.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <csignal>

using namespace vireo;
using namespace vireo::test;

namespace {
constexpr const char* kName = "org.tarnwell.Vireo";

// A notification daemon that records what it is asked to show.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString summary, body;
        QStringList actions;
    };
    std::vector<Shown> shown;

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        shown.push_back({summary, body, actions});
        return uint(shown.size());
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }
};

// A file manager that records the items it is asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

// The fakes live on a connection of their own, as another program's would.
struct FakeServices {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fakes");
    FakeNotifications notifications;
    FakeFileManager fileManager;

    testing::AssertionResult Register() {
        if (!bus.registerObject("/org/freedesktop/Notifications", &notifications,
                                QDBusConnection::ExportAllSlots) ||
            !bus.registerService("org.freedesktop.Notifications"))
            return testing::AssertionFailure()
                   << "notifications: " << bus.lastError().message().toStdString();
        if (!bus.registerObject("/org/freedesktop/FileManager1", &fileManager,
                                QDBusConnection::ExportAllSlots) ||
            !bus.registerService("org.freedesktop.FileManager1"))
            return testing::AssertionFailure() << "file manager";
        return testing::AssertionSuccess();
    }
    void InvokeAction(uint id, const QString& key) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
        signal << id << key;
        bus.send(signal);
    }
    ~FakeServices() {
        bus.unregisterService("org.freedesktop.Notifications");
        bus.unregisterService("org.freedesktop.FileManager1");
        QDBusConnection::disconnectFromBus("fakes");
    }
};

bool NameOwned() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kName);
}

class DesktopBinary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        out = QString::fromStdString(temp.Path("/out"));
        QDir().mkpath(out);
        RunFirstRun(Settings(), temp.Path("/out"));
        Settings().SetInt(keys::KeepList, 1);
        Settings().SetInt(keys::Timeout, 10);
        Settings().SetInt(keys::MaxAttemp, 1);
        Settings().SetInt(keys::DropToTray, 0);
        ASSERT_FALSE(NameOwned()) << "a copy of an earlier test still runs";
    }
    void TearDown() override {
        for (QProcess* gui : {&gui, &gui2}) {
            if (gui->state() == QProcess::NotRunning)
                continue;
            gui->terminate();
            if (!gui->waitForFinished(10000)) {
                gui->kill();
                gui->waitForFinished();
            }
        }
        WaitUntil([] { return !NameOwned(); }, 5000);
    }
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VIREO_CONFIG", temp.ConfigPath());
        env.insert("VIREO_HOME", QString::fromStdString(temp.Path("/home")));
        env.insert("HOME", QString::fromStdString(temp.Path("/user")));
        env.remove("XDG_CONFIG_HOME");
        env.remove("XDG_DATA_HOME");
        return env;
    }
    // The window, once it owns the program's name on the bus.
    testing::AssertionResult StartGui(QProcess& p, const QStringList& args = {}) {
        p.setProcessEnvironment(Env());
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(VIREO_BINARY, args);
        if (!p.waitForStarted())
            return testing::AssertionFailure() << "not started";
        if (!WaitUntil([] { return NameOwned(); }, 10000))
            return testing::AssertionFailure() << "the window did not take its name";
        return testing::AssertionSuccess();
    }
    struct Run {
        int status = -1;
        qint64 ms = 0;
        QString err;
    };
    Run RunVireo(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(Env());
        QElapsedTimer clock;
        clock.start();
        p.start(VIREO_BINARY, args);
        Run r;
        // Spin this test's loop meanwhile: the fakes on its bus answer from it.
        if (!p.waitForStarted() ||
            !WaitUntil([&p] { return p.state() == QProcess::NotRunning; }, 20000))
            return r;
        r.ms = clock.elapsed();
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    bool Arrived(const QString& name, const QByteArray& data, int timeoutMs = 20000) {
        QString path = out + "/" + name;
        return WaitUntil([&] { return ReadWholeFile(path) == data; }, timeoutMs);
    }
    QString Url(const QString& name) { return server.HttpUrl("/" + name); }
    QByteArray LastList() const {
        return ReadWholeFile(QString::fromStdString(temp.Path("/home/lastlist.txt")));
    }

    TempSettings temp;
    NginxPeer server;
    QString out;
    QProcess gui, gui2;
};
} // namespace

TEST_F(DesktopBinary, ALaterStartHandsItsAddressesToTheRunningWindow) {
    QByteArray a = RandomBytes(200000, 1), b = RandomBytes(150000, 2), c = RandomBytes(1000, 3);
    server.Put("a.bin", a);
    server.Put("b.bin", b);
    server.Put("c.bin", c);
    ASSERT_TRUE(StartGui(gui));

    Run r = RunVireo({Url("a.bin")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_LT(r.ms, 1000);
    EXPECT_TRUE(Arrived("a.bin", a));

    // A list file's addresses go over too.
    QString list = QString::fromStdString(temp.Path("/list.txt"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write((Url("b.bin") + "\r\n\r\nnot an address\r\n" + Url("c.bin") + "\r\n").toUtf8());
    file.close();
    r = RunVireo({"-i", list});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(Arrived("b.bin", b));
    EXPECT_TRUE(Arrived("c.bin", c));
    EXPECT_EQ(gui.state(), QProcess::Running);

    // The terminal front end is not affected: it runs on its own.
    r = RunVireo({"--headless", "-d", out + "/own", Url("c.bin")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(ReadWholeFile(out + "/own/c.bin"), c);
}

TEST_F(DesktopBinary, ACrashedWindowsPlaceIsTakenByTheNextStart) {
    QByteArray d = RandomBytes(50000, 4), e = RandomBytes(60000, 5);
    server.Put("d.bin", d);
    server.Put("e.bin", e);
    ASSERT_TRUE(StartGui(gui));
    gui.kill(); // no clean-up of any kind
    gui.waitForFinished();
    ASSERT_TRUE(WaitUntil([] { return !NameOwned(); }, 5000));

    // This start becomes the window and downloads its address itself.
    ASSERT_TRUE(StartGui(gui2, {Url("d.bin")}));
    EXPECT_TRUE(Arrived("d.bin", d));
    Run r = RunVireo({Url("e.bin")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Arrived("e.bin", e));
    EXPECT_EQ(gui2.state(), QProcess::Running);
}

TEST_F(DesktopBinary, NotificationsForAFinishAFailureAndABurst) {
    FakeServices fakes;
    ASSERT_TRUE(fakes.Register());
    QByteArray one = RandomBytes(30000, 6);
    server.Put("one.bin", one);
    ASSERT_TRUE(StartGui(gui));

    ASSERT_EQ(RunVireo({Url("one.bin")}).status, 0);
    ASSERT_TRUE(Arrived("one.bin", one));
    ASSERT_TRUE(WaitUntil([&] { return !fakes.notifications.shown.empty(); }, 5000));
    WaitUntil([] { return false; }, 2000); // seconds later
    ASSERT_EQ(fakes.notifications.shown.size(), 1u);
    EXPECT_EQ(fakes.notifications.shown[0].summary, "Download finished");
    EXPECT_EQ(fakes.notifications.shown[0].body, "one.bin");
    EXPECT_TRUE(fakes.notifications.shown[0].actions.contains("folder"));

    // "Open folder" shows the file in the file manager.
    fakes.InvokeAction(1, "folder");
    ASSERT_TRUE(WaitUntil([&] { return !fakes.fileManager.shown.isEmpty(); }, 5000));
    EXPECT_EQ(fakes.fileManager.shown,
              QStringList{QUrl::fromLocalFile(out + "/one.bin").toString(QUrl::FullyEncoded)});

    ASSERT_EQ(RunVireo({server.HttpUrl("/status/404")}).status, 0);
    ASSERT_TRUE(WaitUntil([&] { return fakes.notifications.shown.size() == 2; }, 10000));
    WaitUntil([] { return false; }, 1500);
    ASSERT_EQ(fakes.notifications.shown.size(), 2u);
    EXPECT_EQ(fakes.notifications.shown[1].summary, "Download failed");

    // Twenty finishing within a second: at most two notifications.
    Settings().SetInt(keys::MaxDown, 20); // read at the next start only; the list file says it
    QStringList urls;
    std::vector<QByteArray> data;
    for (int i = 0; i < 20; ++i) {
        data.push_back(RandomBytes(2000 + i, quint32(100 + i)));
        server.Put(QString("burst%1.bin").arg(i), data.back());
        urls << Url(QString("burst%1.bin").arg(i));
    }
    ASSERT_EQ(RunVireo(urls).status, 0);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(Arrived(QString("burst%1.bin").arg(i), data[size_t(i)]));
    WaitUntil([] { return false; }, 2500);
    size_t burst = fakes.notifications.shown.size() - 2;
    EXPECT_GE(burst, 1u);
    EXPECT_LE(burst, 2u);
    int told = 0;
    for (size_t i = 2; i < fakes.notifications.shown.size(); ++i) {
        const auto& n = fakes.notifications.shown[i];
        told += n.summary == "Download finished" ? 1 : n.summary.section(' ', 1, 1).toInt();
    }
    EXPECT_EQ(told, 20);
}

TEST_F(DesktopBinary, NoNotificationsWhenTheSettingIsOff) {
    FakeServices fakes;
    ASSERT_TRUE(fakes.Register());
    Settings().SetInt(keys::Notify, 0);
    QByteArray quiet = RandomBytes(1000, 7);
    server.Put("quiet.bin", quiet);
    ASSERT_TRUE(StartGui(gui, {Url("quiet.bin")}));
    ASSERT_TRUE(Arrived("quiet.bin", quiet));
    WaitUntil([] { return false; }, 1500);
    EXPECT_TRUE(fakes.notifications.shown.empty());
}

namespace {
struct HostRun {
    std::vector<QByteArray> answers;
    int status = -1;
};

HostRun RunHost(const QProcessEnvironment& env, const QByteArray& input) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(VIREO_HOST_BINARY, {"chrome-extension://x/"});
    HostRun r;
    if (!p.waitForStarted())
        return r;
    p.write(input);
    p.closeWriteChannel();
    if (!WaitUntil([&p] { return p.state() == QProcess::NotRunning; }, 20000))
        return r;
    r.status = p.exitCode();
    QByteArray all = p.readAllStandardOutput();
    while (all.size() >= 4) {
        quint32 n = 0;
        memcpy(&n, all.constData(), 4);
        r.answers.push_back(all.mid(4, qsizetype(n)));
        all.remove(0, 4 + qsizetype(n));
    }
    return r;
}
} // namespace

TEST_F(DesktopBinary, TheBrowsersHostHandsAddressesOverAndRefusesGarbage) {
    QByteArray page = RandomBytes(40000, 8);
    server.Put("from-browser.bin", page);
    ASSERT_TRUE(StartGui(gui));

    QByteArray oversized(4, '\0');
    quint32 big = host::kMaxRequest + 1;
    memcpy(oversized.data(), &big, 4);
    HostRun r =
        RunHost(Env(), host::Framed("{\"url\": \"" + Url("from-browser.bin").toUtf8() + "\"}") +
                           host::Framed("{\"url\": ") + host::Framed("[1,2]") +
                           host::Framed("{\"url\": \"javascript:alert(1)\"}") +
                           host::Framed("{\"url\": \"file:///etc/passwd\"}") +
                           host::Framed("{\"link\": \"http://a.b/c\"}") + oversized + "{\"url\"");
    ASSERT_EQ(r.answers.size(), 7u);
    EXPECT_EQ(r.answers[0], "{\"ok\":true}");
    EXPECT_EQ(r.answers[1], "{\"error\":\"malformed message\",\"ok\":false}");
    EXPECT_EQ(r.answers[2], "{\"error\":\"malformed message\",\"ok\":false}");
    EXPECT_EQ(r.answers[3], "{\"error\":\"not an address to download\",\"ok\":false}");
    EXPECT_EQ(r.answers[4], "{\"error\":\"not an address to download\",\"ok\":false}");
    EXPECT_EQ(r.answers[5], "{\"error\":\"no address in the message\",\"ok\":false}");
    EXPECT_EQ(r.answers[6], "{\"error\":\"message too large\",\"ok\":false}");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Arrived("from-browser.bin", page));
    // The list holds the one good address and nothing else.
    ASSERT_TRUE(WaitUntil([&] { return LastList().contains("from-browser.bin"); }, 5000));
    WaitUntil([] { return false; }, 1500);
    EXPECT_EQ(LastList(), Url("from-browser.bin").toUtf8() + "\r\n");

    // A message cut short, and an input that ends between messages.
    r = RunHost(Env(), QByteArray("\x10\x00\x00\x00{\"u", 7));
    ASSERT_EQ(r.answers.size(), 1u);
    EXPECT_EQ(r.answers[0], "{\"error\":\"message cut short\",\"ok\":false}");
    EXPECT_EQ(RunHost(Env(), QByteArray()).status, 0);
}

TEST_F(DesktopBinary, TheBrowsersHostStartsAWindowWhenNoneRuns) {
    QByteArray data = RandomBytes(20000, 9);
    server.Put("cold.bin", data);
    HostRun r = RunHost(Env(), host::Framed("{\"url\":\"" + Url("cold.bin").toUtf8() + "\"}"));
    ASSERT_EQ(r.answers.size(), 1u);
    EXPECT_EQ(r.answers[0], "{\"ok\":true}");
    EXPECT_TRUE(Arrived("cold.bin", data));
    ASSERT_TRUE(WaitUntil([] { return NameOwned(); }, 5000));
    // The window it started is not this test's child: end it through its pid on the bus.
    uint pid = QDBusConnection::sessionBus().interface()->servicePid(kName);
    ASSERT_GT(pid, 0u);
    ::kill(pid_t(pid), SIGTERM);
    EXPECT_TRUE(WaitUntil([] { return !NameOwned(); }, 10000));
}

TEST_F(DesktopBinary, AnAddressCopiedInAnotherProgramIsAdded) {
    Settings().SetInt(keys::WatchClipboard, 1);
    QByteArray data = RandomBytes(10000, 10);
    server.Put("copied.bin", data);
    ASSERT_TRUE(StartGui(gui));
    WaitUntil([] { return false; }, 500); // the window watches once its loop runs
    QGuiApplication::clipboard()->setText("  " + Url("copied.bin") + "\n");
    EXPECT_TRUE(Arrived("copied.bin", data));
    // A sentence with an address in it is not taken.
    QGuiApplication::clipboard()->setText("read " + Url("copied.bin") + " later");
    WaitUntil([] { return false; }, 1500);
    EXPECT_EQ(LastList(), Url("copied.bin").toUtf8() + "\r\n");
}

TEST(ShowInFolder, TheFileManagerSelectsTheFileElseTheFolderOpens) {
    QString folder;
    auto fallback = [&folder](const QString& dir) { folder = dir; };
    // No file manager on the bus: the folder itself.
    ShowInFolder("/tmp/some dir/file.bin", fallback);
    ASSERT_TRUE(WaitUntil([&] { return !folder.isEmpty(); }, 5000));
    EXPECT_EQ(folder, "/tmp/some dir");

    FakeServices fakes;
    ASSERT_TRUE(fakes.Register());
    folder.clear();
    ShowInFolder("/tmp/some dir/file.bin", fallback);
    ASSERT_TRUE(WaitUntil([&] { return !fakes.fileManager.shown.isEmpty(); }, 5000));
    EXPECT_EQ(fakes.fileManager.shown, QStringList{"file:///tmp/some%20dir/file.bin"});
    WaitUntil([] { return false; }, 200);
    EXPECT_TRUE(folder.isEmpty());
}

TEST(DisplayLockKeys, FollowTheXServersLockedModifiers) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    auto lock = [display](unsigned mask, bool on) {
        XkbLockModifiers(display, XkbUseCoreKbd, mask, on ? mask : 0);
        XSync(display, False);
    };
    unsigned numMask = XkbKeysymToModifiers(display, XK_Num_Lock);
    ASSERT_NE(numMask, 0u);
    lock(LockMask | numMask, false);
    std::optional<LockKeys> keys = ReadLockKeysOf(display);
    ASSERT_TRUE(keys.has_value());
    EXPECT_FALSE(keys->caps || keys->num);
    lock(LockMask, true);
    keys = ReadLockKeysOf(display);
    EXPECT_TRUE(keys->caps);
    EXPECT_FALSE(keys->num);
    lock(numMask, true);
    keys = ReadLockKeysOf(display);
    EXPECT_TRUE(keys->caps && keys->num);
    lock(LockMask | numMask, false);
    // The application's own connection gives the same answer.
    std::optional<LockKeys> app = ReadDisplayLockKeys();
    ASSERT_TRUE(app.has_value());
    EXPECT_FALSE(app->caps);
    XCloseDisplay(display);
}

#include "DesktopBinaryTest.moc"
