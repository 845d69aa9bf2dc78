#include "app/gui/GuiApp.h"

#include "app/gui/Artwork.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/CVireoList.h"
#include "app/gui/WindowUi.h"
#include "app/headless/SignalWatcher.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <iostream>

namespace vireo {

int RunGui(const RunOptions& options, int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vireo");
    QApplication::setOrganizationName("Tarnwell");
    QApplication::setDesktopFileName("vireo");
    QApplication::setWindowIcon(art::AppIcon());
    // Hidden in the tray, the window is not closed: only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<RunList> lists;
    std::string error;
    if (!ApplyRunOptions(options, false, lists, error)) {
        std::fprintf(stderr, "vireo: %s\n", error.c_str());
        return 2;
    }

    CVireoDoc doc;
    CMainFrame frame(doc);
    WindowUi ui(frame);
    doc.SetUi(&ui);
    QObject::connect(&frame, &CMainFrame::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    doc.OnNewDocument();
    frame.OnDocumentStarted();
    AddRunAddresses(doc, options, lists, std::cerr);
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
