// quorin-icon-scaler: writes the window icon at one size of the desktop's icon theme, at build
// time. Usage: quorin-icon-scaler <source.png> <pixels> <output.png>
//
// The icon is drawn on a pixel grid, so a whole multiple of its size repeats every pixel as a
// square and keeps the edges sharp; any other size is resampled smoothly.
#include <QImage>
#include <QString>
#include <cstdio>

namespace {

QImage scale_icon(const QImage& source, int pixels) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const bool whole_multiple =
        pixels >= image.width() && pixels % image.width() == 0 && image.width() == image.height();
    return image.scaled(pixels, pixels, Qt::IgnoreAspectRatio,
                        whole_multiple ? Qt::FastTransformation : Qt::SmoothTransformation);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <source.png> <pixels> <output.png>\n", argv[0]);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    bool ok = false;
    const int pixels = QString::fromLocal8Bit(argv[2]).toInt(&ok);
    if (source.isNull() || !ok || pixels <= 0) {
        std::fprintf(stderr, "%s: cannot read %s or bad size %s\n", argv[0], argv[1], argv[2]);
        return 1;
    }
    if (!scale_icon(source, pixels).save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
        return 1;
    }
    return 0;
}
