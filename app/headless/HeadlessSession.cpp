#include "app/headless/HeadlessSession.h"

#include "app/headless/ProgressReport.h"
#include "app/headless/SignalWatcher.h"
#include "app/headless/TerminalUi.h"
#include "downloads/VireoDoc.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QTimer>

#include <QDir>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <memory>

namespace vireo {

HeadlessSession::HeadlessSession(CVireoDoc& doc, const RunOptions& options, ProgressReport& report,
                                 std::ostream& err, TerminalUi* ui)
    : m_doc(doc), m_options(options), m_report(report), m_err(err), m_ui(ui) {}

bool HeadlessSession::ReadPassword(const std::string& user, std::string& password) {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    std::string prompt = "Password for " + user + ": ";
    (void)!write(fd, prompt.data(), prompt.size());
    termios old{};
    bool echoOff = tcgetattr(fd, &old) == 0;
    if (echoOff) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    password.clear();
    char c = 0;
    bool ok = false;
    while (read(fd, &c, 1) == 1) {
        if (c == '\n' || c == '\r') {
            ok = true;
            break;
        }
        password += c;
    }
    if (echoOff)
        tcsetattr(fd, TCSAFLUSH, &old);
    (void)!write(fd, "\n", 1);
    close(fd);
    return ok;
}

int HeadlessSession::UsageError(const std::string& reason) {
    m_err << "vireo: " << reason << '\n';
    m_err.flush();
    return kUsageError;
}

int HeadlessSession::Begin() {
    std::vector<RunList> lists;
    std::string error;
    if (!ApplyRunOptions(m_options, true, lists, error))
        return UsageError(error);
    if (!m_options.user.empty()) {
        size_t colon = m_options.user.find(':');
        DocumentUi::Credentials login{
            m_options.user.substr(0, colon),
            colon == std::string::npos ? std::string() : m_options.user.substr(colon + 1)};
        if (m_options.askPassword && !ReadPassword(login.user, login.password))
            return UsageError("cannot read a password from the terminal");
        if (m_ui)
            m_ui->SetLogin(login);
    }

    m_doc.OnNewDocument();
    if (Settings().GetInt(keys::MaxDown) < 1)
        return UsageError("no download may run: \"maxdown\" is below 1 in the settings; "
                          "give --jobs N");
    m_refused = AddRunAddresses(m_doc, m_options, lists, m_err);
    // Each page goes the way of the window's "Insert link" with "link to page" checked.
    for (const std::string& page : m_options.links) {
        int before = m_doc.ItemCount();
        if (m_ui)
            m_ui->SetPageToHarvest(page);
        m_doc.RunCommand(DocCommand::InsertLink);
        if (m_doc.ItemCount() == before)
            ++m_refused; // told by the document's message
    }
    if (m_doc.ItemCount() == 0) {
        if (m_refused > 0)
            return 1; // each refusal has been told
        return UsageError("no addresses to download");
    }
    return kGoOn;
}

bool HeadlessSession::Finished() const {
    return m_doc.RunningCount() == 0 && !m_doc.HasWaitingEntries();
}

void HeadlessSession::KeepLogs() {
    if (m_options.logDir.empty())
        return;
    QDir dir(QString::fromStdString(m_options.logDir));
    for (int i = 0; i < m_doc.ItemCount(); ++i) {
        DownloadItem& item = m_doc.Item(i);
        if (!item.HasLog())
            continue;
        std::string name = item.TargetPath().substr(item.TargetPath().rfind('/') + 1);
        item.Log().CopyTo(dir.filePath(QString::fromStdString(name + ".log")).toStdString());
    }
}

int HeadlessSession::End() {
    KeepLogs();
    m_doc.OnCloseDocument();
    int status = m_report.Summary(m_doc, false);
    return m_refused > 0 ? std::max(status, 1) : status;
}

int HeadlessSession::Interrupt(int signo) {
    m_doc.RunCommand(DocCommand::StopAll);
    KeepLogs();
    m_doc.OnCloseDocument();
    m_report.Summary(m_doc, true);
    return SignalExitStatus(signo);
}

namespace {
// The document of a terminal run. With --output the run has one entry, and its file
// takes that name wherever the address leads (a redirect keeps it too).
class RunDocument : public CVireoDoc {
public:
    explicit RunDocument(std::string output) : m_name(output.substr(output.rfind('/') + 1)) {}
    std::string TargetPath(const std::string& address) override {
        std::string path = CVireoDoc::TargetPath(address);
        return m_name.empty() ? path : path.substr(0, path.rfind('/') + 1) + m_name;
    }

private:
    std::string m_name;
};
} // namespace

int RunHeadless(const RunOptions& options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ProgressReport::Mode mode = options.json                 ? ProgressReport::Mode::Json
                                : options.quiet              ? ProgressReport::Mode::Quiet
                                : isatty(STDOUT_FILENO) != 0 ? ProgressReport::Mode::Table
                                                             : ProgressReport::Mode::Lines;
    ProgressReport report(std::cout, std::cerr, mode);
    TerminalUi ui(report);
    RunDocument doc(options.output);
    doc.SetUi(&ui);
    HeadlessSession session(doc, options, report, std::cerr, &ui);

    bool ending = false;
    auto endWith = [&](auto&& step) {
        if (ending)
            return;
        ending = true;
        QCoreApplication::exit(step());
    };
    // Watched before anything is started or printed (and before any thread starts): a
    // signal that comes early is served as soon as the event loop runs, and a reader that
    // went away never ends the process before the transfers are stopped and the list is
    // saved.
    auto watcher = std::make_unique<SignalWatcher>(
        [&](int signo) { endWith([&] { return session.Interrupt(signo); }); },
        std::vector<int>{SIGINT, SIGTERM, SIGHUP, SIGPIPE});

    auto run = [&] {
        int status = session.Begin();
        if (status != HeadlessSession::kGoOn)
            return status;
        if (session.Finished())
            return session.End();

        // The run ends as soon as the last entry settles, not at the next look of the
        // timer; the check is queued so that it never runs inside the document's own calls.
        ui.SetStateChangeHook([&] {
            QMetaObject::invokeMethod(
                &app,
                [&] {
                    if (session.Finished())
                        endWith([&] { return session.End(); });
                },
                Qt::QueuedConnection);
        });
        QTimer watch;
        watch.setInterval(200);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (session.Finished())
                endWith([&] { return session.End(); });
            else
                report.Refresh(doc);
        });
        watch.start();
        report.Refresh(doc, true);
        int exitStatus = app.exec();
        ui.SetStateChangeHook({});
        return exitStatus;
    };
    int status = run();
    // The run is over; what is still written on the way out (the document's last words,
    // the buffers flushed at exit) to an output nobody reads is dropped, where SIGPIPE's
    // default would turn a finished run into a killed one.
    std::signal(SIGPIPE, SIG_IGN);
    watcher.reset();
    return status;
}

} // namespace vireo
