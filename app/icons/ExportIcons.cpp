// Writes the application icon as PNG files in the sizes a desktop looks for, in the
// layout of an icon theme (SIZExSIZE/apps/vireo.png), so that installing the program
// installs its icon. With --sheet FILE it writes every picture of the program side by
// side instead, to look at them.
#include "app/gui/Artwork.h"
#include "app/gui/CommandTable.h"
#include "app/gui/ToolbarColours.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPalette>

#include <cstdio>
#include <cstring>

namespace {
int WriteThemeIcons(const QString& root) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QString dir = QString("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(dir) || !vireo::art::AppIconImage(size).save(dir + "/vireo.png")) {
            std::fprintf(stderr, "cannot write %s/vireo.png\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}

int WriteSheet(const QString& file, qreal dpr) {
    using namespace vireo;
    const int cell = 20;
    QImage sheet(QSize(cell * 31 + 4, cell * 4 + 4) * dpr, QImage::Format_ARGB32);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    for (int i = 0; i < art::kStateImageCount; ++i)
        p.drawPixmap(2 + i * cell, 2, art::StateImage(i, dpr));
    ButtonColours colours = ButtonColours::FromPalette(QApplication::palette());
    int x = 2;
    for (int id : ToolBarCommands()) {
        if (id == 0)
            continue; // a separator
        QImage colour = art::ToolbarImage(id, dpr);
        p.drawImage(x, 2 + cell, colour);
        p.drawImage(x, 2 + 2 * cell, MapToolbarImage(colour, colours, true));
        x += cell;
    }
    x = 2;
    for (int number : {185, 190, 191, 192, 193})
        p.drawPixmap(x += cell, 2 + 3 * cell, art::NumberedIcon(number).pixmap(16, 16));
    p.end();
    return sheet.save(file) ? 0 : 1;
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--sheet") == 0)
        return WriteSheet(QString::fromLocal8Bit(argv[2]), 4);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s THEME_DIR | --sheet FILE\n", argv[0]);
        return 2;
    }
    return WriteThemeIcons(QString::fromLocal8Bit(argv[1]));
}
