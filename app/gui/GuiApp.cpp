#include "app/gui/GuiApp.h"

#include "app/gui/Artwork.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/CVireoList.h"
#include "app/gui/DesktopIntegration.h"
#include "app/gui/RunningCopy.h"
#include "app/gui/WindowUi.h"
#include "app/headless/SignalWatcher.h"
#include "common/ByteBuffer.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

namespace vireo {

namespace {
// The run's own download directory and parallel downloads, as in the terminal front end:
// they hold for this run and are never stored. False (with the reason told) when they
// cannot be used.
bool ApplyRunOptions(const HeadlessOptions& options, std::vector<ByteBuffer>& lists) {
    SettingsStore& settings = Settings();
    if (!options.dir.empty()) {
        QString dir = QDir(QString::fromStdString(options.dir)).absolutePath();
        if (!QDir().mkpath(dir) || !QFileInfo(dir).isWritable()) {
            std::fprintf(stderr, "vireo: cannot use download directory '%s'\n",
                         options.dir.c_str());
            return false;
        }
        settings.OverrideString(keys::DownPath, dir.toStdString());
    }
    if (options.jobs > 0)
        settings.OverrideInt(keys::MaxDown, options.jobs);
    lists.resize(options.inputs.size());
    for (size_t i = 0; i < lists.size(); ++i) {
        if (!lists[i].LoadFile(options.inputs[i])) {
            std::fprintf(stderr, "vireo: cannot read list file '%s'\n", options.inputs[i].c_str());
            return false;
        }
    }
    return true;
}

// Gives this start's addresses and lists to the window that runs already. False when that
// copy went away meanwhile (this start may take its place then); status is the exit
// status otherwise.
bool HandOverToRunningCopy(const HeadlessOptions& options, const std::vector<ByteBuffer>& lists,
                           int& status) {
    HandedOver what;
    for (const std::string& url : options.urls)
        what.addresses << QString::fromStdString(url);
    for (const ByteBuffer& list : lists)
        what.listTexts << QString::fromStdString(std::string(list.View()));
    QStringList refused;
    QString error;
    if (!RunningCopy::HandOver(what, refused, error)) {
        if (error.startsWith("org.freedesktop.DBus.Error.ServiceUnknown"))
            return false;
        std::fprintf(stderr, "vireo: the running window does not answer: %s\n", qPrintable(error));
        status = 1;
        return true;
    }
    if (!options.dir.empty() || options.jobs > 0)
        std::fprintf(stderr, "vireo: the running window keeps its own -d and -j\n");
    for (const QString& address : refused)
        std::fprintf(stderr, "vireo: not added: %s\n", qPrintable(address));
    status = refused.isEmpty() ? 0 : 1;
    return true;
}
} // namespace

int RunGui(const HeadlessOptions& options, int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vireo");
    QApplication::setOrganizationName("Tarnwell");
    QApplication::setDesktopFileName("org.tarnwell.Vireo");
    QApplication::setWindowIcon(art::AppIcon());
    // Hidden in the tray, the window is not closed: only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<ByteBuffer> lists;
    if (!ApplyRunOptions(options, lists))
        return 2;

    // A window runs already: it takes this start's addresses. The name is asked for once
    // more when that copy ended in the meantime.
    RunningCopy running;
    RunningCopy::Claim claim = running.ClaimName();
    for (int tries = 0; claim == RunningCopy::Claim::OtherCopy && tries < 2; ++tries) {
        int status = 0;
        if (HandOverToRunningCopy(options, lists, status))
            return status;
        claim = running.ClaimName();
    }
    if (claim == RunningCopy::Claim::OtherCopy)
        return 1;

    CVireoDoc doc;
    CMainFrame frame(doc);
    WindowUi ui(frame);
    doc.SetUi(&ui);
    QObject::connect(&frame, &CMainFrame::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    doc.OnNewDocument();
    frame.OnDocumentStarted();
    DesktopIntegration desktop(doc, frame, ui,
                               claim == RunningCopy::Claim::Owned ? &running : nullptr);
    // A list file counts as addresses given: the last list stays where it is then.
    if (!options.urls.empty() || lists.empty())
        doc.AddCommandLine(options.urls);
    for (const ByteBuffer& list : lists)
        doc.AddUrlsFromText(list.View());
    frame.ShowAtStart();
    // Ctrl-C in the terminal or a TERM from the session ends the program the way Exit
    // does: the list and the placement are saved.
    SignalWatcher signals([&frame](int) { frame.close(); });

    int status = app.exec();
    frame.ShutDown(); // when the event loop ended some other way
    ui.CloseToolWindows();
    doc.SetUi(nullptr);
    doc.SetView(nullptr);
    return status;
}

} // namespace vireo
