// The flat toolbar: the grey and colour image sets and the hot tracking.
#include "app/gui/CToolBarEx.h"
#include "app/gui/FlatToolButton.h"
#include "app/gui/ToolbarColours.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMainWindow>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace vireo;

namespace {
ButtonColours Colours(QColor face) {
    ButtonColours c;
    c.text = QColor(1, 2, 3);
    c.face = face;
    c.highlight = QColor(250, 251, 252);
    c.shadow = QColor(100, 101, 102);
    c.light3d = QColor(230, 231, 232);
    return c;
}
} // namespace

TEST(ToolbarColours, GreyImagesFollowTheFaceColour) {
    const ButtonColours grey = Colours(QColor(212, 212, 212));
    const ButtonColours tinted = Colours(QColor(212, 208, 200));
    struct Case {
        QRgb in;
        QRgb greyFace;   // grey set, grey face: the exact level
        QRgb tintedFace; // grey set, tinted face: one of five levels
        QRgb colour;     // colour set
    };
    const Case cases[] = {
        // (10+20+33)/3 = 21: black in both; black is the button text colour
        {qRgb(10, 20, 33), qRgb(21, 21, 21), grey.text.rgb(), qRgb(10, 20, 33)},
        {qRgb(200, 40, 40), qRgb(93, 93, 93), tinted.shadow.rgb(), qRgb(200, 40, 40)},
        {qRgb(180, 190, 200), qRgb(190, 190, 190), tinted.face.rgb(), qRgb(180, 190, 200)},
        {qRgb(220, 225, 230), qRgb(225, 225, 225), qRgb(0xe0, 0xe0, 0xe0), qRgb(220, 225, 230)},
        {qRgb(250, 240, 245), qRgb(245, 245, 245), tinted.highlight.rgb(), qRgb(250, 240, 245)},
        // The four colours that stand for the desktop's own, in both sets.
        {qRgb(0, 0, 0), grey.text.rgb(), tinted.text.rgb(), grey.text.rgb()},
        {qRgb(128, 128, 128), grey.shadow.rgb(), tinted.shadow.rgb(), grey.shadow.rgb()},
        {qRgb(192, 192, 192), grey.face.rgb(), tinted.face.rgb(), grey.face.rgb()},
        {qRgb(255, 255, 255), grey.highlight.rgb(), tinted.highlight.rgb(), grey.highlight.rgb()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QColor(c.in).name().toStdString());
        EXPECT_EQ(QColor(MapToolbarColour(c.in, grey, true)), QColor(c.greyFace));
        EXPECT_EQ(QColor(MapToolbarColour(c.in, tinted, true)), QColor(c.tintedFace));
        EXPECT_EQ(QColor(MapToolbarColour(c.in, grey, false)), QColor(c.colour));
    }
}

TEST(ToolbarColours, ImagesKeepTheirTransparency) {
    QImage source(4, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(0, 0, 0, 0));
    source.setPixel(1, 0, qRgba(200, 40, 40, 255));
    source.setPixel(2, 0, qRgba(0, 0, 0, 128));
    source.setPixel(3, 0, qRgba(0, 0, 0, 255));
    QImage out = MapToolbarImage(source, Colours(QColor(212, 212, 212)), true)
                     .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
    EXPECT_EQ(out.pixel(1, 0), qRgb(93, 93, 93));
    EXPECT_EQ(qAlpha(out.pixel(2, 0)), 128);
    EXPECT_EQ(out.pixel(3, 0) & 0xffffff, qRgb(1, 2, 3) & 0xffffff);
}

class ToolBar : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(400, 200);
        bar = new CToolBarEx("bar", &window);
        window.addToolBar(bar);
        for (int i = 0; i < 3; ++i) {
            actions[i] = new QAction(QString("a%1").arg(i), &window);
            bar->AddButton(actions[i], 57600);
        }
        bar->addSeparator();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void MoveOver(int button) {
        FlatToolButton* b = bar->Button(button);
        QPoint at = b->rect().center();
        QCursor::setPos(b->mapToGlobal(at));
        QMouseEvent move(QEvent::MouseMove, at, b->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(b, &move);
    }
    // The button's background, as an 8-bit colour (palette colours may carry more bits).
    QRgb Background(int button) {
        QImage image = bar->Button(button)->grab().toImage();
        return image.pixel(2, image.height() / 2) & 0xffffff;
    }
    static QRgb Drawn(const QColor& c) {
        QImage one(1, 1, QImage::Format_RGB32);
        one.fill(c);
        return one.pixel(0, 0) & 0xffffff;
    }

    QMainWindow window;
    CToolBarEx* bar = nullptr;
    QAction* actions[3] = {};
};

TEST_F(ToolBar, TheButtonUnderTheMouseIsRaisedAndLeavingFlattensIt) {
    using Look = FlatToolButton::Look;
    MoveOver(0);
    EXPECT_EQ(bar->HotButton(), 0);
    EXPECT_EQ(bar->Button(0)->CurrentLook(), Look::Raised);
    EXPECT_TRUE(bar->Button(0)->ShowsColour());
    EXPECT_FALSE(bar->Button(1)->ShowsColour());
    EXPECT_TRUE(bar->HoverTimerActive());

    MoveOver(1);
    EXPECT_EQ(bar->HotButton(), 1);
    EXPECT_EQ(bar->Button(0)->CurrentLook(), Look::Flat);
    EXPECT_EQ(bar->Button(1)->CurrentLook(), Look::Raised);

    // The mouse leaves without a move over the bar: the hover timer notices.
    QCursor::setPos(window.mapToGlobal(QPoint(200, 150)));
    bar->CheckHover();
    EXPECT_EQ(bar->HotButton(), -1);
    EXPECT_EQ(bar->Button(1)->CurrentLook(), Look::Flat);
    EXPECT_FALSE(bar->HoverTimerActive());
}

TEST_F(ToolBar, HoverTimerFlattensWithinAQuarterSecond) {
    MoveOver(2);
    QCursor::setPos(window.mapToGlobal(QPoint(200, 150)));
    EXPECT_EQ(bar->HotButton(), 2);
    QTest::qWait(CToolBarEx::kHoverMilliseconds + 100);
    EXPECT_EQ(bar->HotButton(), -1);
}

TEST_F(ToolBar, DisabledButtonNeverBecomesHot) {
    actions[1]->setEnabled(false);
    MoveOver(1);
    EXPECT_EQ(bar->HotButton(), -1);
    EXPECT_EQ(bar->Button(1)->CurrentLook(), FlatToolButton::Look::Flat);
    EXPECT_FALSE(bar->Button(1)->ShowsColour());
}

TEST_F(ToolBar, ToggledButtonAwayFromTheMouseIsSunkenOnTheLightFace) {
    actions[2]->setCheckable(true);
    actions[2]->setChecked(true);
    QCursor::setPos(window.mapToGlobal(QPoint(200, 150)));
    ASSERT_NE(bar->Colours().light3d, bar->Colours().face);
    EXPECT_EQ(bar->Button(2)->CurrentLook(), FlatToolButton::Look::Sunken);
    EXPECT_TRUE(bar->Button(2)->ShowsColour());
    EXPECT_EQ(Background(2), Drawn(bar->Colours().light3d));
    EXPECT_EQ(Background(0), Drawn(bar->Colours().face));
    // Its outline is the face colour, the sunken frame (shadow at the left) one pixel in.
    QImage away = bar->Button(2)->grab().toImage();
    EXPECT_EQ(away.pixel(0, away.height() / 2) & 0xffffff, Drawn(bar->Colours().face));
    EXPECT_EQ(away.pixel(1, away.height() / 2) & 0xffffff, Drawn(bar->Colours().shadow));
    MoveOver(2); // under the mouse a pressed button shows the plain face
    EXPECT_EQ(Background(2), Drawn(bar->Colours().face));
    QImage hot = bar->Button(2)->grab().toImage();
    EXPECT_EQ(hot.pixel(0, hot.height() / 2) & 0xffffff, Drawn(bar->Colours().shadow));
}
