#include "app/gui/ToolWindow.h"

#include "app/gui/Placement.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsKeys.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include <vector>

namespace vireo {

namespace {
// The tool windows that exist, so that a new one does not open exactly on top of another.
std::vector<ToolWindow*>& OpenWindows() {
    static std::vector<ToolWindow*> windows;
    return windows;
}
constexpr int kCascade = 32;

// "minimize" as these windows read it: a settings file without the key counts as 1 here,
// while the main window takes it for 0.
bool MinimizeOn() {
    SettingsStore& s = Settings();
    return s.Contains(keys::Minimize.name) ? s.GetInt(keys::Minimize) != 0 : true;
}
} // namespace

ToolWindow::ToolWindow(CVireoDoc* doc, FreeFlag freeFlag, std::string_view rectKey)
    : QMainWindow(nullptr), m_doc(doc), m_freeFlag(freeFlag), m_rectKey(rectKey) {
    OpenWindows().push_back(this);
}

ToolWindow::~ToolWindow() {
    std::erase(OpenWindows(), this);
    // Destroyed under its own dialog: the document must not wait for it any longer.
    if (m_dialog)
        SetDialogOpen(false);
}

Rect ToolWindow::DefaultRect(const QSize& screen) {
    int w = screen.width();
    int h = screen.height();
    return Rect{w / 4, h / 8, 3 * w / 4, 7 * h / 8};
}

void ToolWindow::PlaceAndShow() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QSize size = screen ? screen->geometry().size() : QSize(1024, 768);
    Rect d = DefaultRect(size);
    Rect r = Settings().GetRect(m_rectKey, d);
    bool maximized = r.left == -1 && r.right == -1;
    if (maximized || r.right <= r.left || r.bottom <= r.top)
        r = d; // restoring a maximized window gives the default rectangle
    QRect wanted(r.left, r.top, r.right - r.left, r.bottom - r.top);
    const QList<QRect> areas = AvailableScreenAreas();
    // The log and the history window share their default place: the second one to open
    // steps down and right, so that both can be seen.
    // A few steps at most: in a screen's corner the fitting would take every step back.
    bool moved = !maximized;
    for (int step = 0; moved && step < 8; ++step) {
        moved = false;
        QRect fitted = FitOnScreens(wanted, areas);
        for (ToolWindow* other : OpenWindows())
            if (other != this && other->isVisible() &&
                other->geometry().topLeft() == fitted.topLeft()) {
                wanted.translate(kCascade, kCascade);
                moved = true;
            }
    }
    setGeometry(FitOnScreens(wanted, areas));
    if (maximized)
        showMaximized();
    else
        show();
}

void ToolWindow::SavePlacement() {
    if (isMaximized()) {
        Settings().SetRect(m_rectKey, Rect{-1, -1, -1, -1});
        return;
    }
    QRect g = normalGeometry();
    if (!g.isValid())
        g = geometry();
    Settings().SetRect(m_rectKey,
                       Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
}

void ToolWindow::FollowMainWindow(bool show) {
    if (!show) {
        if (m_dialog)
            m_dialog->reject();
        if (Settings().GetInt(keys::DropToTray) != 0)
            hide();
        else
            showMinimized();
        return;
    }
    if (MinimizeOn()) {
        // Back as it was, neither moved nor resized.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        QMainWindow::show();
    } else if (isMaximized()) {
        showMaximized();
    } else {
        showNormal();
    }
}

void ToolWindow::SetDialogOpen(bool open) {
    if (!m_doc)
        return;
    (m_doc->*m_freeFlag)(!open);
    m_doc->SetActivityCounter(m_doc->ActivityCounter() + (open ? 1 : -1));
}

bool ToolWindow::RunDialog(QDialog* dialog, const std::function<void()>& accepted) {
    QPointer<ToolWindow> self(this);
    m_dialog = dialog;
    SetDialogOpen(true);
    int result = dialog->exec();
    if (self.isNull())
        return false; // the destructor has told the document already
    SetDialogOpen(false);
    m_dialog = nullptr;
    if (result == QDialog::Accepted && accepted)
        accepted();
    delete dialog;
    return !self.isNull();
}

QDialog* ToolWindow::MakeAbout(const QString& title, const QIcon& icon, const QString& text) {
    auto* dialog = new QDialog(this);
    dialog->setWindowTitle(title);
    auto* picture = new QLabel;
    picture->setPixmap(icon.pixmap(32, 32));
    auto* body = new QLabel(text);
    body->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    auto* texts = new QVBoxLayout;
    texts->addWidget(body);
    texts->addWidget(new QLabel("Support: support@tarnwell.example"));
    texts->addWidget(new QLabel("Vireo 1.0 Beta"));
    auto* row = new QHBoxLayout;
    row->addWidget(picture, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(row);
    layout->addWidget(buttons);
    return dialog;
}

void ToolWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !m_doc)
        return;
    if (!MinimizeOn())
        return;
    m_doc->SetIdleCountdown(Settings().GetInt(keys::IdleTime));
    int activity = m_doc->ActivityCounter();
    if (activity == -1)
        activity = 0;
    m_doc->SetActivityCounter(activity + (isActiveWindow() ? 1 : -1));
}

} // namespace vireo
