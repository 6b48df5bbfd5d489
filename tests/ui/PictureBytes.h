// Pictures made by the tests as the bytes a cache file or an answer holds.
#pragma once

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

// The bytes of Image in Format; a JPEG written progressive when asked.
inline std::string Encoded(const QImage& Image, const char* Format, bool Progressive = false)
{
    QByteArray Bytes;
    QBuffer Buffer(&Bytes);
    Buffer.open(QIODevice::WriteOnly);
    QImageWriter Writer(&Buffer, Format);
    Writer.setProgressiveScanWrite(Progressive);
    EXPECT_TRUE(Writer.write(Image));
    return Bytes.toStdString();
}

// The bytes of a poster of one colour in Format.
inline std::string Picture(QColor Color, const char* Format, QSize Size = {75, 106})
{
    QImage Image(Size, QImage::Format_RGB32);
    Image.fill(Color);
    return Encoded(Image, Format);
}

// A grey progressive JPEG of Side x Side pixels made of Scans scans in all:
// the ones of Qt's writer, then refinements of the first coefficient, ten
// bytes each, which need no table. Each scan costs a pass over every block
// of the picture.
inline std::string ScanHeavyJpeg(int Side, int Scans)
{
    QImage Image(Side, Side, QImage::Format_Grayscale8);
    Image.fill(128);
    std::string Jpeg = Encoded(Image, "jpeg", true);
    constexpr std::string_view ScanStart("\xFF\xDA", 2), End("\xFF\xD9", 2);
    for (std::size_t At = Jpeg.find(ScanStart); At != std::string::npos; At = Jpeg.find(ScanStart, At + 2))
        --Scans;
    EXPECT_TRUE(Jpeg.ends_with(End));
    Jpeg.resize(Jpeg.size() - End.size());
    for (; Scans > 0; --Scans)
        Jpeg.append("\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x10", 10);
    return Jpeg.append(End);
}
