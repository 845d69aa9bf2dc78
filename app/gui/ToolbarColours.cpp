#include "app/gui/ToolbarColours.h"

#include <unordered_map>

namespace vireo {

ButtonColours ButtonColours::FromPalette(const QPalette& palette) {
    ButtonColours c;
    c.text = palette.color(QPalette::ButtonText);
    c.face = palette.color(QPalette::Button);
    c.highlight = palette.color(QPalette::Light);
    c.shadow = palette.color(QPalette::Dark);
    c.light3d = palette.color(QPalette::Midlight);
    if (c.light3d == c.face)
        c.light3d = c.highlight;
    return c;
}

QRgb MapToolbarColour(QRgb rgb, const ButtonColours& colours, bool grey) {
    QRgb out = rgb & 0xffffff;
    if (grey) {
        int g = (qRed(rgb) + qGreen(rgb) + qBlue(rgb)) / 3;
        const QColor& face = colours.face;
        if (face.red() == face.green() && face.green() == face.blue()) {
            out = qRgb(g, g, g) & 0xffffff;
        } else {
            int level = g < 64 ? 0x00 : g < 160 ? 0x80 : g < 208 ? 0xc0 : g >= 240 ? 0xff : 0xe0;
            out = qRgb(level, level, level) & 0xffffff;
        }
    }
    switch (out) {
    case 0x000000:
        return colours.text.rgb();
    case 0x808080:
        return colours.shadow.rgb();
    case 0xc0c0c0:
        return colours.face.rgb();
    case 0xffffff:
        return colours.highlight.rgb();
    default:
        return out | 0xff000000;
    }
}

QImage MapToolbarImage(const QImage& source, const ButtonColours& colours, bool grey) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    // Icons use few colours; anti-aliased edges add some more. Map each colour once.
    std::unordered_map<QRgb, QRgb> table;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            QRgb pixel = line[x];
            if (qAlpha(pixel) == 0)
                continue;
            QRgb opaque = pixel | 0xff000000;
            auto it = table.find(opaque);
            if (it == table.end())
                it = table.emplace(opaque, MapToolbarColour(opaque, colours, grey)).first;
            line[x] = (it->second & 0xffffff) | (pixel & 0xff000000);
        }
    }
    image.setDevicePixelRatio(source.devicePixelRatio());
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace vireo
