#include "app/gui/CMainFrame.h"

#include "app/gui/AboutDialog.h"
#include "app/gui/Artwork.h"
#include "app/gui/CSystemTray.h"
#include "app/gui/CToolBarEx.h"
#include "app/gui/CVireoList.h"
#include "app/gui/CommandTable.h"
#include "app/gui/LockKeys.h"
#include "app/gui/Placement.h"
#include "app/gui/QtTrayBackend.h"
#include "downloads/RecentLists.h"
#include "downloads/VireoDoc.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>

namespace vireo {

namespace {
constexpr int kCommandUpdateMs = 200;
constexpr const char* kTitle = "Sep 12 1998 - Vireo";
constexpr const char* kBarStateGroup = "barstate";

QLabel* Indicator(const QString& text) {
    auto* label = new QLabel;
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 10);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}
} // namespace

CMainFrame::CMainFrame(CVireoDoc& doc, std::unique_ptr<TrayBackend> trayBackend, QWidget* parent)
    : QMainWindow(parent), m_doc(doc) {
    setObjectName("mainFrame");
    setWindowTitle(kTitle);
    setWindowIcon(art::AppIcon());
    // Files dropped from a file manager are not taken; text dropped on the list is.
    setAcceptDrops(false);

    m_list = new CVireoList(doc, this);
    setCentralWidget(m_list);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateAccelerators();
    ApplyPlacement();

    if (!trayBackend)
        trayBackend = std::make_unique<QtTrayBackend>();
    m_tray = std::make_unique<CSystemTray>(std::move(trayBackend));
    m_tray->SetCommandHandler([this](int id) {
        if (id == command_id::Activate)
            activateWindow();
        RunCommand(id);
    });
    // The tray menu's entries follow the same rules as the window's (Paste needs text).
    connect(m_tray->Menu(), &QMenu::aboutToShow, this, [this] {
        for (QAction* action : m_tray->Menu()->actions())
            if (!action->isSeparator())
                action->setEnabled(CommandEnabled(action->data().toInt()));
    });
    if (Settings().GetInt(keys::DropToTray) != 0)
        ShowTrayIcon(true);
    m_tray->LoadFrames(art::kTrayFirstFrame, art::kTrayLastFrame);
    RestoreBarState();

    m_commandUpdate.setInterval(kCommandUpdateMs);
    connect(&m_commandUpdate, &QTimer::timeout, this, [this] {
        UpdateCommandStates();
        // The lock keys change in any window; once a second is soon enough to show it.
        if (++m_updateTicks % 5 == 0)
            UpdateLockKeys();
    });
    m_commandUpdate.start();
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateMenus() {
    QMenu* menu = nullptr;
    QString current;
    for (const MenuCommand& entry : MainMenuCommands()) {
        QString title = QString::fromLatin1(entry.menu);
        if (!menu || title != current) {
            menu = menuBar()->addMenu(title);
            current = title;
            connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
            if (!m_fileMenu) {
                m_fileMenu = menu; // the first menu is File
                connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateRecentLists);
            }
        }
        if (!entry.text) {
            menu->addSeparator();
            continue;
        }
        auto* action = new QAction(QString::fromLatin1(entry.text), this);
        QStringList prompt = QString::fromLatin1(entry.prompt).split('\n');
        action->setStatusTip(prompt.value(0));
        action->setToolTip(prompt.value(1));
        action->setIconVisibleInMenu(false);
        action->setData(entry.id);
        int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        if (id == command_id::ToggleToolBar || id == command_id::ToggleStatusBar) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        menu->addAction(action);
        m_actions[id] = action;
    }
}

void CMainFrame::UpdateRecentLists() {
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater();
    }
    m_recentActions.clear();
    std::vector<std::string> names = RecentLists::Names();
    if (names.empty())
        return;
    // Between the list commands and Exit, numbered as their keys: "&1 /home/me/list.txt".
    QAction* exit = m_actions.at(command_id::Exit);
    for (size_t i = 0; i < names.size(); ++i) {
        QString name = QString::fromStdString(names[i]);
        QString shown =
            fontMetrics().elidedText(name, Qt::ElideMiddle, 50 * fontMetrics().averageCharWidth());
        auto* action =
            new QAction(QString("&%1 %2").arg(i + 1).arg(shown.replace("&", "&&")), this);
        action->setStatusTip("Open this list file");
        std::string path = names[i];
        connect(action, &QAction::triggered, this, [this, path] { m_doc.OpenListFile(path); });
        m_fileMenu->insertAction(exit, action);
        m_recentActions.push_back(action);
    }
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    m_fileMenu->insertAction(exit, separator);
    m_recentActions.push_back(separator);
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new CToolBarEx("Toolbar", this);
    m_toolBar->setObjectName("mainToolBar");
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);
    for (int id : ToolBarCommands()) {
        if (id == 0)
            m_toolBar->AddSeparatorLine();
        else
            m_toolBar->AddButton(m_actions.at(id), id);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    connect(m_toolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isHidden()) // a hidden window hides its bars too; that is no choice of the user
            m_actions.at(command_id::ToggleToolBar)->setChecked(visible);
    });
}

void CMainFrame::CreateStatusBar() {
    m_message = new QLabel("Ready");
    m_message->setObjectName("messagePane");
    statusBar()->addWidget(m_message, 1);
    m_caps = Indicator("CAP");
    m_num = Indicator("NUM");
    m_scroll = Indicator("SCRL");
    statusBar()->addPermanentWidget(m_caps);
    statusBar()->addPermanentWidget(m_num);
    statusBar()->addPermanentWidget(m_scroll);
    UpdateLockKeys();
}

void CMainFrame::UpdateLockKeys() {
    // Where the display cannot tell, the panes are hidden rather than always empty.
    std::optional<LockKeys> keys = ReadDisplayLockKeys();
    for (QLabel* pane : {m_caps, m_num, m_scroll})
        if (pane->isVisibleTo(statusBar()) != keys.has_value())
            pane->setVisible(keys.has_value());
    if (!keys)
        return;
    m_caps->setText(keys->caps ? "CAP" : QString());
    m_num->setText(keys->num ? "NUM" : QString());
    m_scroll->setText(keys->scroll ? "SCRL" : QString());
}

void CMainFrame::CreateAccelerators() {
    for (const Accelerator& accel : Accelerators()) {
        auto* shortcut = new QShortcut(accel.keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        int id = accel.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { RunCommand(id); });
    }
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::OnDocumentStarted() {
    m_list->InsertColumns();
    setWindowTitle(kTitle);
    // A first start writes "droptotray" only now, after the window was made.
    if (Settings().GetInt(keys::DropToTray) != 0)
        ShowTrayIcon(true);
    UpdateCommandStates();
}

bool CMainFrame::CommandEnabled(int id) const {
    if (CVireoDoc::HasCommand(id))
        return m_doc.CommandEnabled(DocCommand(id));
    return true;
}

void CMainFrame::RunCommand(int id) {
    if (id == int(DocCommand::NewList) && !ConfirmNew())
        return;
    if (CVireoDoc::HasCommand(id)) {
        m_doc.RunCommand(DocCommand(id));
    } else {
        // The window's own commands; the document's are in its table.
        using F = CMainFrame;
        static const struct {
            int id;
            void (*run)(CMainFrame& frame);
        } kWindowCommands[] = {
            {command_id::Exit, [](F& f) { f.close(); }},
            {command_id::About, [](F& f) { f.ShowAbout(); }},
            {command_id::ToggleToolBar,
             [](F& f) { f.ToggleBar(f.m_toolBar, command_id::ToggleToolBar); }},
            {command_id::ToggleStatusBar,
             [](F& f) { f.ToggleBar(f.statusBar(), command_id::ToggleStatusBar); }},
            {command_id::Activate, [](F& f) { f.m_doc.ShowAllWindows(true); }},
        };
        for (const auto& command : kWindowCommands)
            if (command.id == id)
                command.run(*this);
    }
    UpdateCommandStates();
}

void CMainFrame::ToggleBar(QWidget* bar, int id) {
    bool show = bar->isHidden();
    bar->setVisible(show);
    m_actions.at(id)->setChecked(show);
}

void CMainFrame::UpdateCommandStates() {
    for (auto& [id, action] : m_actions) {
        bool enabled = CommandEnabled(id);
        if (action->isEnabled() != enabled)
            action->setEnabled(enabled);
    }
}

Rect CMainFrame::DefaultRect(const QSize& screen) {
    int w = screen.width();
    int h = screen.height();
    return Rect{w / 8, h / 4, 7 * w / 8, 3 * h / 4};
}

void CMainFrame::ApplyPlacement() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QSize size = screen ? screen->geometry().size() : QSize(1024, 768);
    Rect r = Settings().GetRect(keys::MainWndRect, DefaultRect(size));
    if ((r.left == -1 && r.right == -1) || r.right <= r.left || r.bottom <= r.top) {
        m_startMaximized = r.left == -1 && r.right == -1;
        r = DefaultRect(size); // what restoring the window gives
    }
    // Stored on other screens or at another scale, the window still opens on this one.
    setGeometry(FitOnScreens(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top),
                             AvailableScreenAreas()));
}

void CMainFrame::ShowAtStart() {
    if (m_startMaximized)
        showMaximized();
    else
        show();
}

void CMainFrame::SavePlacement() {
    if (isMaximized()) {
        Settings().SetRect(keys::MainWndRect, Rect{-1, -1, -1, -1});
        return;
    }
    QRect g = normalGeometry();
    if (!g.isValid())
        g = geometry();
    Settings().SetRect(keys::MainWndRect,
                       Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
}

void CMainFrame::SaveBarState() {
    QSettings store(Settings().FilePath(), QSettings::IniFormat);
    store.beginGroup(kBarStateGroup);
    store.setValue("state", saveState());
    store.setValue("statusbar", !statusBar()->isHidden());
    store.endGroup();
}

void CMainFrame::RestoreBarState() {
    QSettings store(Settings().FilePath(), QSettings::IniFormat);
    store.beginGroup(kBarStateGroup);
    QByteArray state = store.value("state").toByteArray();
    if (!state.isEmpty())
        restoreState(state);
    bool statusVisible = store.value("statusbar", true).toBool();
    statusBar()->setVisible(statusVisible);
    m_actions.at(command_id::ToggleStatusBar)->setChecked(statusVisible);
    m_actions.at(command_id::ToggleToolBar)->setChecked(!m_toolBar->isHidden());
    store.endGroup();
}

void CMainFrame::ShowTrayIcon(bool show) {
    if (!show) {
        m_tray->Hide();
        return;
    }
    if (!m_trayInstalled) {
        m_trayInstalled = true;
        m_tray->Install("Vireo", art::kTrayStill, CSystemTray::kMenuId);
        m_tray->SetDefaultEntry(2, true);
        return;
    }
    m_tray->Unhide();
}

void CMainFrame::OnActivate(bool active, bool minimized) {
    if (Settings().GetInt(keys::Minimize) != 0) {
        m_doc.SetIdleCountdown(Settings().GetInt(keys::IdleTime));
        int activity = m_doc.ActivityCounter();
        if (activity == -1)
            activity = 0;
        m_doc.SetActivityCounter(activity + (active ? 1 : -1));
    }
    if (minimized) {
        m_doc.SetActivityCounter(-1); // the countdown stops
        if (!active)
            m_doc.ShowAllWindows(false);
    }
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        OnActivate(isActiveWindow(), isMinimized());
        UpdateLockKeys();
    } else if (event->type() == QEvent::WindowStateChange && isMinimized() && !isActiveWindow()) {
        // Minimized while another window had the focus: no deactivation follows.
        OnActivate(false, true);
    }
}

void CMainFrame::ShowAbout() {
    m_doc.SetActivityCounter(m_doc.ActivityCounter() + 1);
    AboutDialog about(this);
    about.exec();
    m_doc.SetActivityCounter(m_doc.ActivityCounter() - 1);
}

void CMainFrame::ShutDown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_commandUpdate.stop();
    SaveBarState();
    m_doc.OnCloseDocument(); // the last list
    SavePlacement();
    m_tray->EndCycle();
    m_tray->Uninstall();
}

bool CMainFrame::Confirm(const IntKey& key, const QString& text) {
    if (Settings().GetInt(key) == 0)
        return true;
    Answer answer;
    m_doc.SetActivityCounter(m_doc.ActivityCounter() + 1); // a dialog of the application
    if (m_asker) {
        answer = m_asker(text);
    } else {
        QMessageBox box(QMessageBox::Question, "Vireo", text, QMessageBox::Yes | QMessageBox::No,
                        this);
        box.setDefaultButton(QMessageBox::No);
        auto* again = new QCheckBox("Don't ask again");
        box.setCheckBox(again);
        answer.yes = box.exec() == QMessageBox::Yes;
        answer.dontAskAgain = again->isChecked();
    }
    m_doc.SetActivityCounter(m_doc.ActivityCounter() - 1);
    // "Don't ask again" with No would make the command do nothing for good.
    if (answer.yes && answer.dontAskAgain)
        Settings().SetInt(key, 0);
    return answer.yes;
}

bool CMainFrame::ConfirmNew() {
    int unfinished = 0;
    for (int i = 0; i < m_doc.ItemCount(); ++i)
        unfinished += m_doc.State(i) != ItemState::Done;
    if (unfinished == 0)
        return true;
    return Confirm(keys::AskNew,
                   QString("Remove %1 download(s) that are not finished from the list?\n"
                           "Files already received stay on the disk.")
                       .arg(unfinished));
}

bool CMainFrame::ConfirmExit() {
    int running = m_doc.RunningCount();
    if (running == 0 || m_shutDown)
        return true;
    return Confirm(keys::AskExit, QString("%1 download(s) are running. Stop them and exit?\n"
                                          "Partial files are kept, so that they can be resumed.")
                                      .arg(running));
}

void CMainFrame::CloseWithoutAsking() {
    m_closeWithoutAsking = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_closeWithoutAsking && !ConfirmExit()) {
        event->ignore();
        return;
    }
    ShutDown();
    event->accept();
    Q_EMIT Closed();
}

} // namespace vireo
