#include "app/gui/CSystemTray.h"

#include "app/gui/Artwork.h"
#include "downloads/DocCommand.h"

#include <QAction>
#include <QMenu>

namespace vireo {

namespace {
struct TrayEntry {
    const char* text; // nullptr: separator
    int command;
};
const TrayEntry kTrayMenu[] = {
    {"Paste", int(DocCommand::Paste)},
    {nullptr, 0},
    {"Activate", CSystemTray::kActivate}, // the default entry
    {"Settings", int(DocCommand::Settings)},
    {"About", command_id::About},
    {nullptr, 0},
    {"Close", command_id::Exit},
};
} // namespace

CSystemTray::CSystemTray(std::unique_ptr<TrayBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)) {
    BuildMenu();
    connect(&m_cycle, &QTimer::timeout, this, &CSystemTray::CycleTick);
}

CSystemTray::~CSystemTray() {
    m_cycle.stop();
    Uninstall();
    m_frames.clear();
}

void CSystemTray::BuildMenu() {
    m_menu = std::make_unique<QMenu>();
    m_menu->setTitle("tray");
    for (const TrayEntry& entry : kTrayMenu) {
        if (!entry.text) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(QString::fromLatin1(entry.text));
        int command = entry.command;
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] {
            if (m_command)
                m_command(command);
        });
    }
}

QIcon CSystemTray::IconFor(int number) const {
    return art::NumberedIcon(number);
}

bool CSystemTray::Install(const QString& tooltip, int iconNumber, int id) {
    if (!m_backend || !m_backend->Supported()) {
        m_available = false;
        return false;
    }
    m_id = id;
    m_tooltip = tooltip.left(63);
    m_iconNumber = iconNumber;
    m_backend->SetClickHandler([this](TrayBackend::Click click) { HandleTrayMouse(m_id, click); });
    m_available = m_backend->Add(IconFor(iconNumber), m_tooltip, m_menu.get());
    m_hidden = false;
    return m_available;
}

bool CSystemTray::Unhide() {
    if (!m_available || !m_hidden)
        return false;
    m_backend->Add(IconFor(m_iconNumber), m_tooltip, m_menu.get());
    m_hidden = false;
    return true;
}

bool CSystemTray::Hide() {
    if (!m_available || m_hidden)
        return false;
    m_backend->Remove();
    m_hidden = true;
    return true;
}

bool CSystemTray::Uninstall() {
    if (!m_available)
        return false;
    m_backend->Remove();
    m_available = false;
    return true;
}

bool CSystemTray::ChangeIcon(int iconNumber) {
    if (!m_available)
        return false;
    m_iconNumber = iconNumber;
    m_backend->ChangeIcon(IconFor(iconNumber));
    return true;
}

void CSystemTray::SetToolTip(const QString& tooltip) {
    if (tooltip == m_tooltip)
        return;
    m_tooltip = tooltip;
    if (IsShown())
        m_backend->SetToolTip(m_tooltip);
}

bool CSystemTray::SetDefaultEntry(int entry, bool byPosition) {
    if (entry == m_defaultEntry && byPosition == m_defaultByPosition)
        return true;
    m_defaultEntry = entry;
    m_defaultByPosition = byPosition;
    QList<QAction*> actions = m_menu->actions();
    QAction* chosen = nullptr;
    for (int i = 0; i < actions.size(); ++i) {
        QAction* action = actions[i];
        bool match = byPosition ? i == entry : action->data().toInt() == entry;
        QFont font = action->font();
        font.setBold(match && !action->isSeparator());
        action->setFont(font);
        if (match && !action->isSeparator())
            chosen = action;
    }
    if (chosen)
        m_menu->setDefaultAction(chosen);
    return chosen != nullptr;
}

int CSystemTray::DefaultCommand() const {
    QList<QAction*> actions = m_menu->actions();
    if (m_defaultByPosition)
        return m_defaultEntry >= 0 && m_defaultEntry < actions.size()
                   ? actions[m_defaultEntry]->data().toInt()
                   : 0;
    return m_defaultEntry;
}

bool CSystemTray::LoadFrames(int firstNumber, int lastNumber) {
    m_frames.clear();
    for (int number = firstNumber; number <= lastNumber; ++number) {
        if (IconFor(number).isNull()) {
            m_frames.clear();
            return false;
        }
        m_frames.push_back(number);
    }
    return true;
}

bool CSystemTray::BeginCycle(int periodMs, int durationSeconds) {
    EndCycle();
    m_frameIndex = 0;
    m_cycleStart.start();
    m_cycleDuration = durationSeconds;
    m_iconBeforeCycle = m_iconNumber;
    m_cycle.start(periodMs);
    return m_cycle.isActive();
}

void CSystemTray::NextFrame() {
    if (m_frames.empty())
        return;
    m_frameIndex = (m_frameIndex + 1) % int(m_frames.size());
    ChangeIcon(m_frames[size_t(m_frameIndex)]);
}

void CSystemTray::EndCycle() {
    m_cycle.stop();
    if (m_iconBeforeCycle != 0) {
        ChangeIcon(m_iconBeforeCycle);
        m_iconBeforeCycle = 0;
    }
}

void CSystemTray::CycleTick() {
    qint64 elapsedSeconds = m_cycleStart.elapsed() / 1000;
    if (m_cycleDuration > 0 && elapsedSeconds > m_cycleDuration)
        EndCycle();
    else
        NextFrame();
}

void CSystemTray::HandleTrayMouse(int id, TrayBackend::Click click) {
    if (id != m_id)
        return;
    // The right button opens the menu, which the notification area shows by itself.
    if (click == TrayBackend::Click::Left && m_command) {
        int command = DefaultCommand();
        if (command != 0)
            m_command(command);
    }
}

} // namespace vireo
