#include "app/headless/HeadlessSession.h"

#include "app/headless/ProgressReport.h"
#include "app/headless/SignalWatcher.h"
#include "app/headless/TerminalUi.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <memory>

namespace vireo {

HeadlessSession::HeadlessSession(CVireoDoc& doc, const RunOptions& options, ProgressReport& report,
                                 std::ostream& err)
    : m_doc(doc), m_options(options), m_report(report), m_err(err) {}

int HeadlessSession::UsageError(const std::string& reason) {
    m_err << "vireo: " << reason << '\n';
    m_err.flush();
    return kUsageError;
}

int HeadlessSession::Begin() {
    std::vector<RunList> lists;
    std::string error;
    if (!ApplyRunOptions(m_options, lists, error))
        return UsageError(error);

    m_doc.OnNewDocument();
    if (Settings().GetInt(keys::MaxDown) < 1)
        return UsageError("no download may run: \"maxdown\" is below 1 in the settings; "
                          "give --jobs N");
    m_refused = AddRunAddresses(m_doc, m_options, lists, m_err);
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

int HeadlessSession::End() {
    m_doc.OnCloseDocument();
    int status = m_report.Summary(m_doc, false);
    return m_refused > 0 ? std::max(status, 1) : status;
}

int HeadlessSession::Interrupt(int signo) {
    m_doc.RunCommand(DocCommand::StopAll);
    m_doc.OnCloseDocument();
    m_report.Summary(m_doc, true);
    return SignalExitStatus(signo);
}

int RunHeadless(const RunOptions& options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ProgressReport::Mode mode = options.quiet                ? ProgressReport::Mode::Quiet
                                : isatty(STDOUT_FILENO) != 0 ? ProgressReport::Mode::Table
                                                             : ProgressReport::Mode::Lines;
    ProgressReport report(std::cout, std::cerr, mode);
    TerminalUi ui(report);
    CVireoDoc doc;
    doc.SetUi(&ui);
    HeadlessSession session(doc, options, report, std::cerr);

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
