#include "app/gui/DesktopIntegration.h"

#include "app/gui/CMainFrame.h"
#include "app/gui/CSystemTray.h"
#include "app/gui/CVireoList.h"
#include "app/gui/ClipboardWatcher.h"
#include "app/gui/DesktopNotifier.h"
#include "app/gui/RunningCopy.h"
#include "app/gui/ShowInFolder.h"
#include "app/gui/WindowUi.h"
#include "downloads/VireoDoc.h"
#include "engine/TextCoding.h"
#include "engine/TransferJob.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace vireo {

namespace {
constexpr const char* kShowInFolder = "Open containing folder";

bool SettingOn(const IntKey& key) {
    return Settings().GetInt(key) != 0;
}

// A checkable entry that shows and stores an on/off setting.
QAction* SettingToggle(const QString& text, const IntKey& key, QObject* parent) {
    auto* action = new QAction(text, parent);
    action->setCheckable(true);
    action->setChecked(SettingOn(key));
    QObject::connect(action, &QAction::toggled,
                     [&key](bool on) { Settings().SetInt(key, on ? 1 : 0); });
    return action;
}

// Puts action after the entry that runs command, or at the end when there is none.
void InsertAfter(QMenu* menu, int command, QAction* action) {
    QList<QAction*> actions = menu->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (!actions[i]->isSeparator() && actions[i]->data().toInt() == command) {
            menu->insertAction(actions.value(i + 1), action);
            return;
        }
    }
    menu->addAction(action);
}
} // namespace

DesktopIntegration::DesktopIntegration(CVireoDoc& doc, CMainFrame& frame, WindowUi& ui,
                                       RunningCopy* running)
    : m_doc(doc), m_frame(frame), m_ui(ui) {
    m_notifier = std::make_unique<DesktopNotifier>();
    m_notifier->SetEnabled([] { return SettingOn(keys::Notify); });
    m_notifier->SetShowInFolder([](const QString& path) { ShowInFolder(path); });
    m_notifier->SetActivate([this] { m_doc.ShowAllWindows(true); });
    m_ui.SetEntryObserver([this](DownloadItem& item, ItemState from, ItemState to) {
        if (from == to)
            return;
        QString path = QString::fromStdString(item.TargetPath());
        if (to == ItemState::Done)
            m_notifier->Finished(path);
        else if (to == ItemState::Failed)
            m_notifier->Failed(QFileInfo(path).fileName(),
                               QString::fromStdString(item.FailureText()));
    });

    m_clipboard = std::make_unique<ClipboardWatcher>(
        [] { return SettingOn(keys::WatchClipboard); },
        [this](const QString& address) { AddAsPasted(address); });

    if (running)
        running->SetReceiver([this](const HandedOver& what) { return AddHandedOver(what); },
                             [this] { m_doc.ShowAllWindows(true); });

    AddMenuEntries();
    m_tooltipTimer.setInterval(1000);
    connect(&m_tooltipTimer, &QTimer::timeout, this, &DesktopIntegration::UpdateTrayToolTip);
    m_tooltipTimer.start();
}

DesktopIntegration::~DesktopIntegration() {
    m_ui.SetEntryObserver({});
}

bool DesktopIntegration::AddAsPasted(const QString& text) {
    std::string address = NormalizeUrl(TrimText(FirstLine(text.toStdString())));
    return !address.empty() && m_doc.AddUrl(address, false);
}

QStringList DesktopIntegration::AddHandedOver(const HandedOver& what) {
    QStringList refused;
    for (const QString& address : what.addresses)
        if (!AddAsPasted(address))
            refused << address;
    for (const QString& text : what.listTexts)
        m_doc.AddUrlsFromText(text.toStdString());
    return refused;
}

QString DesktopIntegration::SelectedFile() const {
    int selected = m_frame.List().SelectedIndex();
    if (selected < 0 || selected >= m_doc.ItemCount())
        return {};
    return QString::fromStdString(m_doc.Item(selected).TargetPath());
}

void DesktopIntegration::ShowSelectedInFolder() {
    QString path = SelectedFile();
    if (!path.isEmpty())
        ShowInFolder(path);
}

void DesktopIntegration::AddMenuEntries() {
    m_showInFolder = new QAction(kShowInFolder, this);
    m_showInFolder->setStatusTip("show the file in its folder");
    connect(m_showInFolder, &QAction::triggered, this, &DesktopIntegration::ShowSelectedInFolder);
    // Enabled for an entry whose file (or at least its folder) is there.
    auto update = [this] {
        QString path = SelectedFile();
        m_showInFolder->setEnabled(!path.isEmpty() && QFileInfo(path).dir().exists());
    };

    // The menu that holds "Target directory" (the window owns the menus' actions).
    QAction* target = m_frame.Action(int(DocCommand::TargetDirectory));
    for (QAction* menuAction : m_frame.menuBar()->actions()) {
        QMenu* menu = menuAction->menu();
        if (!menu || !menu->actions().contains(target))
            continue;
        InsertAfter(menu, int(DocCommand::TargetDirectory), m_showInFolder);
        menu->addSeparator();
        menu->addAction(SettingToggle("Notify when downloads end", keys::Notify, this));
        menu->addAction(
            SettingToggle("Add addresses copied to the clipboard", keys::WatchClipboard, this));
        connect(menu, &QMenu::aboutToShow, this, update);
        break;
    }
    if (QMenu* context = m_frame.List().ContextMenu()) {
        InsertAfter(context, int(DocCommand::OpenFile), m_showInFolder);
        connect(context, &QMenu::aboutToShow, this, update);
    }
    update();
}

QString DesktopIntegration::TrayToolTip(int running, int64_t bytesPerSecond) {
    if (running == 0)
        return "Vireo";
    QString speed;
    double value = double(bytesPerSecond);
    if (value >= 1024.0 * 1024.0)
        speed = QString::number(value / (1024.0 * 1024.0), 'f', 1) + " MB/s";
    else
        speed = QString::number(value / 1024.0, 'f', value < 10 * 1024 ? 1 : 0) + " KB/s";
    return QString("Vireo: %1 running, %2").arg(running).arg(speed);
}

void DesktopIntegration::UpdateTrayToolTip() {
    int64_t speed = 0;
    for (DownloadItem* item : m_doc.RunningItems())
        if (TransferJob* job = item->Job())
            speed += job->Speed();
    m_frame.Tray().SetToolTip(TrayToolTip(m_doc.RunningCount(), speed));
}

} // namespace vireo
