#include "app/gui/FlatToolButton.h"

#include "app/gui/Artwork.h"
#include "app/gui/CToolBarEx.h"

#include <QPainter>

namespace vireo {

namespace {
// The dark pixels of an image in one colour: what a disabled button shows, twice, offset,
// so that it looks pressed into the bar.
QImage Silhouette(const QImage& image, const QColor& colour) {
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(image.devicePixelRatio());
    out.fill(Qt::transparent);
    QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QRgb ink = colour.rgb() | 0xff000000;
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            if (qAlpha(in[x]) >= 128 && qGray(in[x]) < 192)
                line[x] = ink;
    }
    return out;
}

void Frame(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}
} // namespace

FlatToolButton::FlatToolButton(CToolBarEx& bar, int index, QWidget* parent)
    : QToolButton(parent), m_bar(bar), m_index(index) {
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void FlatToolButton::SetImages(const QImage& grey, const QImage& colour) {
    m_grey = grey;
    m_colour = colour;
    update();
}

bool FlatToolButton::IsHot() const {
    return m_bar.HotButton() == m_index;
}

bool FlatToolButton::ShowsColour() const {
    return isEnabled() && (IsHot() || IsDownOrOn());
}

FlatToolButton::Look FlatToolButton::CurrentLook() const {
    if (IsDownOrOn())
        return Look::Sunken;
    if (IsHot() && isEnabled())
        return Look::Raised;
    return Look::Flat;
}

QSize FlatToolButton::sizeHint() const {
    return QSize(art::kImageSize + kBorder, art::kImageSize + kBorder);
}

void FlatToolButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const ButtonColours& c = m_bar.Colours();
    QRect r = rect();
    bool down = IsDownOrOn();
    bool hot = IsHot();
    p.fillRect(r, down && !hot ? c.light3d : c.face);
    switch (CurrentLook()) {
    case Look::Sunken:
        if (hot) {
            Frame(p, r, c.shadow, c.highlight);
        } else {
            // Away from the mouse a pressed or toggled button is outlined in the face
            // colour, its sunken frame one pixel inside.
            Frame(p, r, c.face, c.face);
            Frame(p, r.adjusted(1, 1, -1, -1), c.shadow, c.highlight);
        }
        break;
    case Look::Raised:
        Frame(p, r, c.highlight, c.shadow);
        break;
    case Look::Flat:
        break;
    }
    QPoint at((r.width() - art::kImageSize) / 2, (r.height() - art::kImageSize) / 2);
    if (down)
        at += QPoint(1, 1);
    if (!isEnabled()) {
        p.drawImage(at + QPoint(1, 1), Silhouette(m_grey, c.highlight));
        p.drawImage(at, Silhouette(m_grey, c.shadow));
        return;
    }
    p.drawImage(at, ShowsColour() ? m_colour : m_grey);
}

} // namespace vireo
