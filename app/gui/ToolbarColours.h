#pragma once
// The two image sets of a flat toolbar: the colour images shown under the mouse or while
// pressed, and the grey images shown otherwise. Both take the desktop's button colours in
// place of black, 0x808080, 0xc0c0c0 and white, so the images sit on any palette.

#include <QColor>
#include <QImage>
#include <QPalette>

namespace vireo {

struct ButtonColours {
    QColor text;      // button text
    QColor face;      // button face
    QColor highlight; // lit edge
    QColor shadow;    // shaded edge
    QColor light3d;   // background of a button held down; the highlight when equal to face

    static ButtonColours FromPalette(const QPalette& palette);
};

// One colour of an image, as it appears in the grey set (grey true) or the colour set. A
// grey face gives the exact grey level of the colour; a coloured face gives one of five
// fixed levels, so the grey images do not clash with the tint.
QRgb MapToolbarColour(QRgb rgb, const ButtonColours& colours, bool grey);
// A whole image mapped pixel by pixel (transparency is kept).
QImage MapToolbarImage(const QImage& source, const ButtonColours& colours, bool grey);

} // namespace vireo
