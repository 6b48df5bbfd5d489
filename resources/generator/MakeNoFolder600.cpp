// Draws the placeholder poster "nofolder600" that a movie gets when its record
// names no poster: a grey-scale, baseline JPEG of 600 x 800 pixels. Run it once
// and commit the picture; the program embeds the committed bytes, so this tool
// is not part of the ordinary build.
//
//   cmake -S resources/generator -B build/generator && cmake --build build/generator
//   build/generator/MakeNoFolder600 resources/nofolder600.jpg

#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);

    QImage image(600, 800, QImage::Format_Grayscale8);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient background(0, 0, 0, 800);
    background.setColorAt(0, QColor(96, 96, 96));
    background.setColorAt(1, QColor(40, 40, 40));
    painter.fillRect(image.rect(), background);

    // A film frame: a rounded rectangle with sprocket holes down both sides.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(150, 150, 150));
    painter.drawRoundedRect(QRectF(150, 250, 300, 300), 24, 24);
    painter.setBrush(QColor(60, 60, 60));
    for (int Row = 0; Row < 6; ++Row) {
        painter.drawRect(QRectF(168, 270 + Row * 46, 22, 26));
        painter.drawRect(QRectF(410, 270 + Row * 46, 22, 26));
    }
    painter.setBrush(QColor(200, 200, 200));
    QPainterPath Play;
    Play.moveTo(265, 340);
    Play.lineTo(265, 460);
    Play.lineTo(360, 400);
    Play.closeSubpath();
    painter.drawPath(Play);
    painter.end();

    QImageWriter writer(QString::fromLocal8Bit(argv[1]), "jpeg");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(false);
    writer.setOptimizedWrite(false);
    if (!writer.write(image)) {
        std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
