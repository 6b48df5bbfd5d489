// Draws the small pictures of the windows into one folder: "update.png" (the
// 18 x 18 sign of a newer version), "busy.png" (the 24 x 24 busy sign, its
// frames side by side in one strip, because Qt writes no GIF), "logo.png" (the
// 90 x 56 logo that leads to the product's page), "icon.png" (the 64 x 64
// picture of the windows in the title bar and the task bar) and
// "nofolder75.jpg" (the 75 x 100 baseline JPEG of a result without a poster). Run it once and commit
// the pictures; the program embeds the committed bytes, so this tool is not
// part of the ordinary build.
//
//   cmake -S resources/generator -B build/generator && cmake --build build/generator
//   build/generator/MakeWindowPictures resources

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>

namespace {

QImage TransparentImage(int Width, int Height)
{
    QImage Image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    Image.fill(Qt::transparent);
    return Image;
}

QColor Mix(const QColor& From, const QColor& To, double Weight)
{
    const auto Channel = [Weight](int A, int B) { return int(std::lround(A + (B - A) * Weight)); };
    return QColor(Channel(From.red(), To.red()), Channel(From.green(), To.green()),
                  Channel(From.blue(), To.blue()), Channel(From.alpha(), To.alpha()));
}

// A green disc with a white arrow pointing down: "download me".
QImage UpdateSign()
{
    QImage Image = TransparentImage(18, 18);
    QPainter Painter(&Image);
    Painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient Fill(0, 1, 0, 17);
    Fill.setColorAt(0, QColor(104, 196, 92));
    Fill.setColorAt(1, QColor(40, 138, 56));
    Painter.setPen(QPen(QColor(30, 110, 44), 1));
    Painter.setBrush(Fill);
    Painter.drawEllipse(QPointF(9, 9), 8.2, 8.2);

    QPainterPath Arrow;
    Arrow.moveTo(7.7, 3.8);
    Arrow.lineTo(10.3, 3.8);
    Arrow.lineTo(10.3, 8.6);
    Arrow.lineTo(13.3, 8.6);
    Arrow.lineTo(9, 13.6);
    Arrow.lineTo(4.7, 8.6);
    Arrow.lineTo(7.7, 8.6);
    Arrow.closeSubpath();
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Qt::white);
    Painter.drawPath(Arrow);
    return Image;
}

// Twelve frames of a ring of twelve strokes; in each frame the lead stroke
// moves on by one place and the strokes behind it fade from blue to grey.
QImage BusyStrip()
{
    constexpr int Size = 24;
    constexpr int Strokes = 12;
    QImage Image = TransparentImage(Size * Strokes, Size);
    QPainter Painter(&Image);
    Painter.setRenderHint(QPainter::Antialiasing);
    const QColor Lead(36, 104, 196);
    const QColor Rest(196, 202, 210);
    for (int Frame = 0; Frame < Strokes; ++Frame) {
        for (int Stroke = 0; Stroke < Strokes; ++Stroke) {
            const int Age = (Frame - Stroke + Strokes) % Strokes;
            const double Weight = std::pow(1.0 - double(Age) / Strokes, 2.0);
            Painter.save();
            Painter.translate(Frame * Size + Size / 2.0, Size / 2.0);
            Painter.rotate(Stroke * 360.0 / Strokes);
            Painter.setPen(QPen(Mix(Rest, Lead, Weight), 2.4, Qt::SolidLine, Qt::RoundCap));
            Painter.drawLine(QPointF(0, -5.8), QPointF(0, -10.2));
            Painter.restore();
        }
    }
    return Image;
}

// A dark strip of film, three frames of warm light between its two rows of
// sprocket holes, through which what lies beneath shows.
void FilmStrip(QPainter& Painter, const QRectF& Strip)
{
    Painter.save();
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(QColor(40, 44, 52));
    Painter.drawRoundedRect(Strip, 2, 2);

    constexpr int Frames = 3;
    const double FrameGap = 2;
    const double FrameWidth = (Strip.width() - 6 - FrameGap * (Frames - 1)) / Frames;
    const QRectF FrameRow(Strip.left() + 3, Strip.top() + 4.5, Strip.width() - 6, Strip.height() - 9);
    for (int Frame = 0; Frame < Frames; ++Frame) {
        const QRectF Picture(FrameRow.left() + Frame * (FrameWidth + FrameGap), FrameRow.top(), FrameWidth,
                             FrameRow.height());
        QLinearGradient Light(Picture.topLeft(), Picture.bottomRight());
        Light.setColorAt(0, QColor(250, 190, 84));
        Light.setColorAt(1, QColor(226, 106, 46));
        Painter.setBrush(Light);
        Painter.drawRoundedRect(Picture, 1, 1);
    }

    Painter.setCompositionMode(QPainter::CompositionMode_Clear);
    Painter.setBrush(Qt::black);
    for (double Left = Strip.left() + 3; Left + 2.5 <= Strip.right() - 2; Left += 5) {
        Painter.drawRoundedRect(QRectF(Left, Strip.top() + 1.5, 2.5, 2), 0.6, 0.6);
        Painter.drawRoundedRect(QRectF(Left, Strip.bottom() - 3.5, 2.5, 2), 0.6, 0.6);
    }
    Painter.restore();
}

// The name over a strip of film whose sprocket holes let the window show
// through; drawn for the light grey of a window, and readable on white.
QImage Logo()
{
    constexpr int Width = 90;
    constexpr int Height = 56;
    QImage Image = TransparentImage(Width, Height);
    QPainter Painter(&Image);
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setRenderHint(QPainter::TextAntialiasing);

    const QString Name = QStringLiteral("Vantry");
    QFont Font(QStringLiteral("Arial"));
    Font.setBold(true);
    Font.setPixelSize(27);
    while (QFontMetricsF(Font).horizontalAdvance(Name) > Width - 6)
        Font.setPixelSize(Font.pixelSize() - 1);
    const QFontMetricsF Metrics(Font);
    const QRectF Ink = Metrics.tightBoundingRect(Name);

    constexpr double StripHeight = 15;
    constexpr double Gap = 4;
    const double Top = std::round((Height - (Ink.height() + Gap + StripHeight)) / 2);
    const QPointF Baseline((Width - Ink.width()) / 2 - Ink.left(), Top - Ink.top());

    QLinearGradient Shade(0, Top, 0, Top + Ink.height());
    Shade.setColorAt(0, QColor(44, 78, 128));
    Shade.setColorAt(1, QColor(24, 46, 84));
    Painter.setPen(QPen(QBrush(Shade), 1));
    Painter.setFont(Font);
    Painter.drawText(Baseline, Name);
    Painter.setPen(Qt::NoPen);

    FilmStrip(Painter, QRectF(3, Top + Ink.height() + Gap, Width - 6, StripHeight));
    return Image;
}

// The logo's colours on a square: a light "V" on the blue of the name, over
// the same strip of film with its three frames of warm light, so that the
// picture still reads at 16 pixels in a title bar.
QImage Icon()
{
    constexpr double Side = 64;
    QImage Image = TransparentImage(int(Side), int(Side));
    QPainter Painter(&Image);
    Painter.setRenderHint(QPainter::Antialiasing);

    const QRectF Tile(1, 1, Side - 2, Side - 2);
    QLinearGradient Shade(0, Tile.top(), 0, Tile.bottom());
    Shade.setColorAt(0, QColor(58, 98, 156));
    Shade.setColorAt(1, QColor(24, 46, 84));
    Painter.setPen(QPen(QColor(18, 34, 64), 1.5));
    Painter.setBrush(Shade);
    Painter.drawRoundedRect(Tile, 11, 11);

    Painter.setPen(Qt::NoPen);
    Painter.setBrush(QColor(244, 246, 250));
    Painter.drawPolygon(QPolygonF({QPointF(12, 8), QPointF(23.5, 8), QPointF(32, 31), QPointF(40.5, 8),
                                   QPointF(52, 8), QPointF(38, 41), QPointF(26, 41)}));

    FilmStrip(Painter, QRectF(5, 44, Side - 10, 15));
    return Image;
}

// A grey cine camera, crossed out by a red prohibition sign, on white.
QImage NoFolder75()
{
    QImage Image(75, 100, QImage::Format_RGB32);
    Image.fill(Qt::white);
    QPainter Painter(&Image);
    Painter.setRenderHint(QPainter::Antialiasing);
    const QPointF Centre(37.5, 50);

    const QColor Body(132, 137, 144);
    const QColor Dark(96, 100, 108);
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Body);
    Painter.drawRoundedRect(QRectF(14, 49.5, 32, 18), 3, 3);
    QPainterPath Lens;
    Lens.moveTo(45.5, 54);
    Lens.lineTo(58, 49);
    Lens.lineTo(58, 68);
    Lens.lineTo(45.5, 63);
    Lens.closeSubpath();
    Painter.setBrush(Dark);
    Painter.drawPath(Lens);
    for (const QPointF Reel : {QPointF(21.5, 42), QPointF(37, 42)}) {
        Painter.setBrush(Body);
        Painter.drawEllipse(Reel, 7, 7);
        Painter.setBrush(Qt::white);
        Painter.drawEllipse(Reel, 1.5, 1.5);
        for (int Hole = 0; Hole < 3; ++Hole) {
            const double Angle = (Hole * 120 - 90) * M_PI / 180;
            Painter.drawEllipse(Reel + QPointF(std::cos(Angle), std::sin(Angle)) * 4, 1.6, 1.6);
        }
    }

    // The bar crosses from top left to bottom right, edged in white so the
    // camera beneath reads as struck through rather than cut.
    const QColor Red(210, 48, 48);
    const double Radius = 31;
    const QPointF Corner = QPointF(Radius, Radius) * M_SQRT1_2;
    Painter.setBrush(Qt::NoBrush);
    Painter.setPen(QPen(Qt::white, 8.5, Qt::SolidLine, Qt::FlatCap));
    Painter.drawLine(Centre - Corner, Centre + Corner);
    Painter.setPen(QPen(Red, 5, Qt::SolidLine, Qt::FlatCap));
    Painter.drawLine(Centre - Corner, Centre + Corner);
    Painter.drawEllipse(Centre, Radius, Radius);
    return Image;
}

bool Write(const QImage& Image, const QDir& Folder, const char* Name, const char* Format)
{
    QImageWriter Writer(Folder.filePath(QString::fromLatin1(Name)), Format);
    if (qstrcmp(Format, "jpeg") == 0) {
        Writer.setQuality(95);
        Writer.setProgressiveScanWrite(false);
        Writer.setOptimizedWrite(false);
    } else {
        Writer.setQuality(0); // PNG: the strongest compression
    }
    if (Writer.write(Image))
        return true;
    std::fprintf(stderr, "%s: %s\n", Name, qPrintable(Writer.errorString()));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QDir Folder(QString::fromLocal8Bit(argv[1]));

    const bool Written = Write(UpdateSign(), Folder, "update.png", "png") &
                         Write(BusyStrip(), Folder, "busy.png", "png") &
                         Write(Logo(), Folder, "logo.png", "png") & Write(Icon(), Folder, "icon.png", "png") &
                         Write(NoFolder75(), Folder, "nofolder75.jpg", "jpeg");
    return Written ? 0 : 1;
}
