// Writes the installed icon files from the drawing the program paints, so that they never
// differ from the window icon: make_icons FOLDER writes FOLDER/NAME.svg, FOLDER/48/NAME.png and
// FOLDER/256/NAME.png.
#include "reader_picture.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QSvgGenerator>

#include <iostream>

namespace {

constexpr const char* kIconName = "org.ostrel.ChipcardAdmin";

bool WriteSvg(const QString& path) {
    constexpr int kSide = 256;
    QSvgGenerator svg;
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    svg.setFileName(path);
    svg.setSize(QSize(kSide, kSide));
    svg.setViewBox(QRect(0, 0, kSide, kSide));
    svg.setTitle("Ostrel Chipcard Administration");
    svg.setDescription("Lecteur de cartes à puce avec une carte");
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    ostrel::app::PaintReaderIcon(painter, kSide);
    return painter.end();
}

bool WritePng(const QString& path, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    ostrel::app::PaintReaderIcon(painter, side);
    painter.end();
    return QDir().mkpath(QFileInfo(path).path()) && image.save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    // Run during the build: no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage : make_icons DOSSIER\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString file = QString(kIconName);
    const QString svg = folder + "/" + file + ".svg";
    const QString png48 = folder + "/48/" + file + ".png";
    const QString png256 = folder + "/256/" + file + ".png";
    for (const QString& failed :
         {WriteSvg(svg) ? QString() : svg, WritePng(png48, 48) ? QString() : png48,
          WritePng(png256, 256) ? QString() : png256}) {
        if (!failed.isEmpty()) {
            std::cerr << "make_icons : écriture de " << failed.toStdString() << " impossible\n";
            return 1;
        }
    }
    return 0;
}
