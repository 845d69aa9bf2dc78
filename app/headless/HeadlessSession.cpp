#include "app/headless/HeadlessSession.h"

#include "app/headless/ProgressReport.h"
#include "app/headless/SignalWatcher.h"
#include "app/headless/TerminalUi.h"
#include "common/ByteBuffer.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <unistd.h>

#include <csignal>
#include <iostream>
#include <memory>

namespace vireo {

HeadlessSession::HeadlessSession(CVireoDoc& doc, const HeadlessOptions& options,
                                 ProgressReport& report, std::ostream& err)
    : m_doc(doc), m_options(options), m_report(report), m_err(err) {}

int HeadlessSession::UsageError(const std::string& reason) {
    m_err << "vireo: " << reason << '\n';
    m_err.flush();
    return kUsageError;
}

int HeadlessSession::Begin() {
    SettingsStore& settings = Settings();
    if (!m_options.dir.empty()) {
        QString dir = QDir(QString::fromStdString(m_options.dir)).absolutePath();
        if (!QDir().mkpath(dir) || !QFileInfo(dir).isWritable())
            return UsageError("cannot use download directory '" + m_options.dir + "'");
        settings.OverrideString(keys::DownPath, dir.toStdString());
    }
    if (m_options.jobs > 0)
        settings.OverrideInt(keys::MaxDown, m_options.jobs);

    std::vector<ByteBuffer> lists(m_options.inputs.size());
    for (size_t i = 0; i < lists.size(); ++i)
        if (!lists[i].LoadFile(m_options.inputs[i]))
            return UsageError("cannot read list file '" + m_options.inputs[i] + "'");

    m_doc.OnNewDocument();
    if (settings.GetInt(keys::MaxDown) < 1)
        return UsageError("no download may run: \"maxdown\" is below 1 in the settings; "
                          "give --jobs N");

    // A list file counts as addresses given: the last list stays where it is then.
    if (!m_options.urls.empty() || lists.empty())
        m_doc.AddCommandLine(m_options.urls);
    for (const ByteBuffer& list : lists)
        m_doc.AddUrlsFromText(list.View());
    if (m_doc.ItemCount() == 0)
        return UsageError("no addresses to download");
    return kGoOn;
}

bool HeadlessSession::Finished() const {
    return m_doc.RunningCount() == 0 && !m_doc.HasWaitingEntries();
}

int HeadlessSession::End() {
    m_doc.OnCloseDocument();
    return m_report.Summary(m_doc, false);
}

int HeadlessSession::Interrupt(int signo) {
    m_doc.RunCommand(DocCommand::StopAll);
    m_doc.OnCloseDocument();
    m_report.Summary(m_doc, true);
    return SignalExitStatus(signo);
}

int RunHeadless(const HeadlessOptions& options, int argc, char** argv) {
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
