#pragma once
// One button of a flat toolbar, drawn by itself: flat, raised while hot, sunken while
// down, with the toolbar's grey or colour image.

#include <QImage>
#include <QToolButton>

namespace vireo {

class CToolBarEx;

class FlatToolButton : public QToolButton {
    Q_OBJECT
public:
    // The extra room around the image, in both directions.
    static constexpr int kBorder = 7;

    FlatToolButton(CToolBarEx& bar, int index, QWidget* parent = nullptr);

    void SetImages(const QImage& grey, const QImage& colour);
    bool IsHot() const;
    // The look the button has now.
    enum class Look { Flat, Raised, Sunken };
    Look CurrentLook() const;
    // The colour image is shown (hot or down), else the grey one.
    bool ShowsColour() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool IsDownOrOn() const { return isDown() || isChecked(); }

    CToolBarEx& m_bar;
    int m_index;
    QImage m_grey;
    QImage m_colour;
};

} // namespace vireo
