// Sending a log to support from the log window: the report dialog with its remembered
// name and address, and the send dialog's outcomes and Retry, against a scripted server.
#include "GuiFixture.h"

#include "app/gui/LogWindow.h"
#include "app/gui/SupportReportDialog.h"
#include "app/gui/SupportSendDialog.h"
#include "common/PercentCoding.h"
#include "log/SupportReport.h"
#include "log/TransferLog.h"
#include "peers/ScriptedServer.h"
#include "peers/WaitUntil.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

using namespace vireo;
using namespace vireo::test;

namespace {
using S = ScriptStep;
const QByteArray kOk = "HTTP/1.1 200 OK\r\n\r\nthanks";

// The report as the server puts it together: every request's query, unescaped.
std::string Joined(const ScriptedServer& server) {
    std::string all;
    for (const QByteArray& request : server.Requests()) {
        const int q = request.indexOf('?');
        std::string piece = request.mid(q + 1, request.indexOf(" HTTP/1.1") - q - 1).toStdString();
        piece = PercentDecode(piece, PercentDigits::Checked);
        all += piece;
    }
    return all;
}

class SupportDialogsTest : public GuiFixture {
public:
    void SetUpSettings() override {
        GuiFixture::SetUpSettings();
        Settings().SetInt(keys::Log, 1);
        Settings().SetString(keys::SupportServer, server.HostPort().toStdString());
    }
    void SetUp() override {
        GuiFixture::SetUp();
        log = std::make_unique<TransferLog>();
        log->AddRecord("finding host h.x", '!');
        log->AddRecord("err: 404", 'E');
        window = new LogWindow(*log, "f.bin", &doc);
        Flush();
    }
    void TearDown() override {
        delete window.data();
        log.reset();
        GuiFixture::TearDown();
    }
    // Runs the send command; inside, the report dialog gets the texts (or is cancelled)
    // and the send dialog is watched until it shows a result, then closed.
    void SendFromWindow(const QString& name, const QString& email, const QString& comments,
                        bool ok = true) {
        QTimer::singleShot(0, [&, name, email, comments, ok] {
            auto* ask = qobject_cast<SupportReportDialog*>(window->CurrentDialog());
            ASSERT_NE(ask, nullptr);
            reportPreset = ask->findChild<QLineEdit*>("name")->text() + "|" +
                           ask->findChild<QLineEdit*>("email")->text();
            ask->findChild<QLineEdit*>("name")->setText(name);
            ask->findChild<QLineEdit*>("email")->setText(email);
            ask->findChild<QPlainTextEdit*>("comments")->setPlainText(comments);
            if (!ok) {
                ask->reject();
                return;
            }
            WatchSendDialog();
            ask->accept();
        });
        window->Action(32861)->trigger();
    }

    // Once the send dialog is open, waits for its result, notes it and closes it.
    void WatchSendDialog() {
        QTimer::singleShot(10, [this] {
            auto* send = qobject_cast<SupportSendDialog*>(window->CurrentDialog());
            if (!send) {
                WatchSendDialog(); // not open yet
                return;
            }
            WaitUntil([send] {
                return send->Message() == "Log file sent successfully" ||
                       send->Message() == "Error occured while connecting";
            });
            sendResult = send->Message() + "|" + send->CloseButton()->text();
            send->CloseButton()->click();
        });
    }

    ScriptedServer server;
    std::unique_ptr<TransferLog> log;
    QPointer<LogWindow> window;
    QString reportPreset;
    QString sendResult;
};
} // namespace

TEST_F(SupportDialogsTest, TheReportWithTheLogReachesTheServerAndNameAndAddressAreRemembered) {
    ASSERT_TRUE(window->Action(32861)->isEnabled());
    server.AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
    server.AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
    const QString comments = QString(1000, 'x') + "\nit stops # at 50%";
    SendFromWindow("Ann Lee", "ann@example.org", comments);
    EXPECT_EQ(reportPreset, "|");
    EXPECT_EQ(sendResult, "Log file sent successfully|OK");
    QFile file(QString::fromStdString(log->FilePath()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(Joined(server),
              BuildSupportReport({"Ann Lee", "ann@example.org", comments.toStdString()},
                                 file.readAll().toStdString()));
    EXPECT_EQ(server.Requests().size(), 2); // over 1024 bytes: two pieces

    // Next time the name and address are there already; a cancel sends nothing.
    SendFromWindow("Other", "other@x", "", false);
    EXPECT_EQ(reportPreset, "Ann Lee|ann@example.org");
    EXPECT_EQ(server.ConnectionCount(), 2);
    EXPECT_EQ(Settings().GetString(keys::Name), "Ann Lee");
    EXPECT_EQ(window->CurrentDialog(), nullptr);
}

TEST_F(SupportDialogsTest, SendDialogShowsTheFailureAndRetrySendsTheWholeReportAgain) {
    server.AddScript({S::ExpectRequest(), S::Send("HTTP/1.1 500 Oops\r\n\r\n"), S::Close()});
    server.AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
    SupportSendDialog dialog("##new!\r\nshort report", "techsupport.cgi", QIcon());
    EXPECT_EQ(dialog.windowTitle(), "Sending log file");
    EXPECT_EQ(dialog.Message(),
              "Sending log file to Tarnwell\nplease wait, it can take few minutes");
    EXPECT_FALSE(dialog.RetryButton()->isEnabled());
    EXPECT_EQ(dialog.CloseButton()->text(), "Close");

    ASSERT_TRUE(WaitUntil([&] { return dialog.RetryButton()->isEnabled(); }));
    EXPECT_EQ(dialog.Message(), "Error occured while connecting");
    EXPECT_EQ(dialog.CloseButton()->text(), "Close");

    dialog.RetryButton()->click();
    EXPECT_FALSE(dialog.RetryButton()->isEnabled());
    EXPECT_EQ(dialog.Message(), "Sending information to Tarnwell\nplease wait");
    ASSERT_TRUE(WaitUntil([&] { return dialog.Message() == "Log file sent successfully"; }));
    EXPECT_EQ(dialog.CloseButton()->text(), "OK");
    EXPECT_FALSE(dialog.RetryButton()->isEnabled());
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_EQ(server.Requests()[0], server.Requests()[1]);
}

TEST_F(SupportDialogsTest, ClosingWhileSendingStopsTheReport) {
    server.AddScript({S::ExpectRequest(), S::Stall()});
    SupportSendDialog dialog(std::string(3000, 'r'), "techsupport.cgi", QIcon());
    ASSERT_TRUE(WaitUntil([&] { return server.Requests().size() == 1; }));
    dialog.CloseButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    ASSERT_TRUE(WaitUntil([&] { return server.ClosedByClient(0); }));
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(dialog.Message(),
              "Sending log file to Tarnwell\nplease wait, it can take few minutes");
}

TEST_F(SupportDialogsTest, ReportDialogTexts) {
    SupportReportDialog dialog{QIcon()};
    EXPECT_EQ(dialog.windowTitle(), "Vireo tech support");
    EXPECT_EQ(dialog.findChild<QLabel*>("commentsLabel")->text(), "comments");
    const QString intro = dialog.findChild<QLabel*>("intro")->text();
    EXPECT_TRUE(intro.startsWith("Now LOG FILE will be send to Tarnwell. \nThis service created "
                                 "for help and support all Vireo users."));
    EXPECT_TRUE(intro.endsWith("We will try to answer you as soon as posible."));
}
