#include "app/gui/CToolBarEx.h"

#include "app/gui/Artwork.h"
#include "app/gui/FlatToolButton.h"
#include "app/gui/ToolBarStyle.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>

namespace vireo {

CToolBarEx::CToolBarEx(const QString& title, QWidget* parent) : QToolBar(title, parent) {
    auto* style = new ToolBarStyle;
    style->setParent(this);
    setStyle(style);
    setMouseTracking(true);
    setIconSize(QSize(art::kImageSize, art::kImageSize));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_colours = ButtonColours::FromPalette(palette());
    m_hover.setInterval(kHoverMilliseconds);
    connect(&m_hover, &QTimer::timeout, this, &CToolBarEx::CheckHover);
}

CToolBarEx::~CToolBarEx() = default;

FlatToolButton* CToolBarEx::AddButton(QAction* action, int imageId) {
    auto* button = new FlatToolButton(*this, int(m_buttons.size()), this);
    button->setDefaultAction(action);
    button->installEventFilter(this);
    addWidget(button);
    m_buttons.push_back(button);
    m_imageIds.push_back(imageId);
    qreal dpr = devicePixelRatioF();
    QImage colour = art::ToolbarImage(imageId, dpr);
    button->SetImages(MapToolbarImage(colour, m_colours, true),
                      MapToolbarImage(colour, m_colours, false));
    m_imagesDpr = dpr;
    return button;
}

void CToolBarEx::RebuildImages() {
    m_colours = ButtonColours::FromPalette(palette());
    qreal dpr = devicePixelRatioF();
    m_imagesDpr = dpr;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        QImage colour = art::ToolbarImage(m_imageIds[i], dpr);
        m_buttons[i]->SetImages(MapToolbarImage(colour, m_colours, true),
                                MapToolbarImage(colour, m_colours, false));
    }
}

void CToolBarEx::changeEvent(QEvent* event) {
    QToolBar::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        RebuildImages();
}

void CToolBarEx::showEvent(QShowEvent* event) {
    QToolBar::showEvent(event);
    if (devicePixelRatioF() != m_imagesDpr)
        RebuildImages(); // shown on a screen of another scale than it was built for
}

void CToolBarEx::SetHot(int index) {
    if (index == m_hot)
        return;
    int old = m_hot;
    m_hot = index;
    if (old >= 0)
        m_buttons[size_t(old)]->update();
    if (index >= 0)
        m_buttons[size_t(index)]->update();
}

void CToolBarEx::TrackMouse(const QPoint& barPos) {
    int hot = -1;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        FlatToolButton* button = m_buttons[i];
        // A disabled button never becomes hot.
        if (button->isVisible() && button->isEnabled() && button->geometry().contains(barPos)) {
            hot = int(i);
            break;
        }
    }
    SetHot(hot);
    m_hover.start(); // restarts the 250 ms watch
}

void CToolBarEx::CheckHover() {
    if (m_hot < 0) {
        m_hover.stop();
        return;
    }
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) {
        SetHot(-1);
        m_hover.stop();
    }
}

bool CToolBarEx::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        auto* button = qobject_cast<FlatToolButton*>(watched);
        auto* move = static_cast<QMouseEvent*>(event);
        if (button)
            TrackMouse(button->mapTo(this, move->position().toPoint()));
    }
    return QToolBar::eventFilter(watched, event);
}

void CToolBarEx::mouseMoveEvent(QMouseEvent* event) {
    TrackMouse(event->position().toPoint());
    QToolBar::mouseMoveEvent(event);
}

} // namespace vireo
