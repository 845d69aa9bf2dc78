#pragma once
// A flat toolbar: the buttons lie flat until the mouse is over one, which is raised;
// pressed or toggled buttons are sunken; images are grey until the mouse is over the
// button or it is pressed, then in colour. A docked bar has a double gripper.

#include "app/gui/ToolbarColours.h"

#include <QTimer>
#include <QToolBar>

#include <vector>

class QAction;

namespace vireo {

class FlatToolButton;

class CToolBarEx : public QToolBar {
    Q_OBJECT
public:
    static constexpr int kHoverMilliseconds = 250;

    explicit CToolBarEx(const QString& title, QWidget* parent = nullptr);
    ~CToolBarEx() override;

    // A button for action showing the toolbar image of imageId (see art::ToolbarImage);
    // its grey image is made from the colour one.
    FlatToolButton* AddButton(QAction* action, int imageId);
    void AddSeparatorLine() { addSeparator(); }

    // The index of the button under the mouse, -1 when none.
    int HotButton() const { return m_hot; }
    FlatToolButton* Button(int index) const { return m_buttons[size_t(index)]; }
    int ButtonCount() const { return int(m_buttons.size()); }
    const ButtonColours& Colours() const { return m_colours; }
    bool HoverTimerActive() const { return m_hover.isActive(); }

    // What the hover timer does on each tick: a bar the mouse has left loses its hot
    // button.
    void CheckHover();
    // Follows the mouse at a position of the bar.
    void TrackMouse(const QPoint& barPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetHot(int index);
    void RebuildImages();

    std::vector<FlatToolButton*> m_buttons;
    std::vector<int> m_imageIds;
    qreal m_imagesDpr = 0;
    ButtonColours m_colours;
    QTimer m_hover;
    int m_hot = -1;
};

} // namespace vireo
