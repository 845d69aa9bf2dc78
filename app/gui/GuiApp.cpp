#include "app/gui/GuiApp.h"

#include "app/gui/Artwork.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/CVireoList.h"
#include "app/gui/DesktopIntegration.h"
#include "app/gui/RunningCopy.h"
#include "app/gui/SpeedLimitEntry.h"
#include "app/gui/WindowUi.h"
#include "app/headless/SignalWatcher.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <iostream>

namespace vireo {

namespace {
// Gives this start's addresses and lists to the window that runs already. False when that
// copy went away meanwhile (this start may take its place then); status is the exit
// status otherwise.
bool HandOverToRunningCopy(const RunOptions& options, const std::vector<RunList>& lists,
                           int& status) {
    HandedOver what;
    for (const std::string& url : options.urls)
        what.addresses << QString::fromStdString(url);
    for (const RunList& list : lists)
        what.listTexts << QString::fromStdString(list.text);
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

int RunGui(const RunOptions& options, int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vireo");
    QApplication::setOrganizationName("Tarnwell");
    QApplication::setDesktopFileName("org.tarnwell.Vireo");
    QApplication::setWindowIcon(art::AppIcon());
    // Hidden in the tray, the window is not closed: only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<RunList> lists;
    std::string error;
    if (!ApplyRunOptions(options, false, lists, error)) {
        std::fprintf(stderr, "vireo: %s\n", error.c_str());
        return 2;
    }

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
    SpeedLimitEntry speedLimit(doc, frame.List());
    AddRunAddresses(doc, options, lists, std::cerr);
    frame.ShowAtStart();
    // Ctrl-C in the terminal or a TERM from the session ends the program the way Exit
    // does: the list and the placement are saved.
    SignalWatcher signals([&frame](int) { frame.CloseWithoutAsking(); });

    int status = app.exec();
    frame.ShutDown(); // when the event loop ended some other way
    ui.CloseToolWindows();
    doc.SetUi(nullptr);
    doc.SetView(nullptr);
    return status;
}

} // namespace vireo
