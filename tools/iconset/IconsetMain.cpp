// Renders the app icon's SVG into the PNG sizes a macOS .iconset holds (16 to 512 points, at
// 1x and 2x), so the bundle's icon is made from our one piece of artwork at build time:
//   quorvel-iconset AppIcon.svg Quorvel.iconset && iconutil -c icns Quorvel.iconset

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorvel-iconset ICON.svg OUT.iconset\n");
        return 64;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "quorvel-iconset: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    for (const int points : {16, 32, 128, 256, 512}) {
        for (const int scale : {1, 2}) {
            QImage image(points * scale, points * scale, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            svg.render(&painter, QRectF(0, 0, image.width(), image.height()));
            painter.end();
            const QString name = QStringLiteral("%1/icon_%2x%2%3.png")
                                     .arg(out)
                                     .arg(points)
                                     .arg(scale == 2 ? QStringLiteral("@2x") : QString());
            if (!image.save(name)) {
                std::fprintf(stderr, "quorvel-iconset: cannot write %s\n", qPrintable(name));
                return 1;
            }
        }
    }
    return 0;
}
