// Writes the program's 16-colour icon images as PNG files, for the desktop's icon theme. The
// full-colour sizes come from tools/mkicon as PNG files of their own (res/linux/icons).
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>

#include "platform/linux/ResourceData.h"
#include "res/resource.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\nWrites orvane-<size>.png for each 16-colour image of the icon.\n", argv[0]);
        return 2;
    }
    const std::vector<orvane::res::IconImage> images = orvane::res::ResourceData::Program().IconGroup(IDR_MAINFRAME);
    if (images.empty()) {
        std::fprintf(stderr, "the program's resources hold no icon %d\n", IDR_MAINFRAME);
        return 1;
    }
    for (const orvane::res::IconImage& image : images) {
        if (image.bitsPerPixel != 4) continue;
        QImage png(image.width, image.height, QImage::Format_ARGB32);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                png.setPixel(x, y, image.pixels[static_cast<std::size_t>(y * image.width + x)]);
            }
        }
        const QString path = QString("%1/orvane-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(image.width);
        if (!png.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
