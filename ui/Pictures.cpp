#include "Pictures.h"

#include "Resources.h"

#include <QImageReader>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

// Side of one frame of the busy strip, and the time each frame stays on screen.
constexpr int BusySize = 24;
constexpr int BusyPeriodMs = 80;

using TClock = std::chrono::steady_clock;

// Hands a decoder its bytes as it asks for them, and none once the time
// allowed has passed or a stop is asked. Decoders read as they go, so one
// that runs too long fails at its next read instead of running to its end.
// Not a QBuffer, which Qt's JPEG decoder would read whole at once.
class TBoundedBytes : public QIODevice
{
public:
    TBoundedBytes(std::string_view Bytes, TClock::time_point End, const std::atomic<bool>& Stop)
        : FBytes(Bytes), FEnd(End), FStop(Stop)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    // Whether a read was refused: what the decoder made is then cut short.
    bool CutShort() const { return FCutShort; }

    bool isSequential() const override { return false; }
    qint64 size() const override { return static_cast<qint64>(FBytes.size()); }

protected:
    qint64 readData(char* Data, qint64 MaxSize) override
    {
        if (FStop.load() || TClock::now() >= FEnd) {
            FCutShort = true;
            return -1;
        }
        const qint64 Count = std::clamp<qint64>(size() - pos(), 0, MaxSize);
        std::memcpy(Data, FBytes.data() + pos(), static_cast<std::size_t>(Count));
        return Count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const std::string_view FBytes;
    const TClock::time_point FEnd;
    const std::atomic<bool>& FStop;
    bool FCutShort = false;
};

// Whether the JPEG in Bytes has more scans than Limit. A scan starts with the
// marker FF DA; coded data never holds it (a coded FF is followed by 00 or a
// restart marker), so only the few bytes of a header could add one by chance.
bool MoreScansThan(std::string_view Bytes, int Limit)
{
    constexpr std::string_view ScanStart("\xFF\xDA", 2);
    int Count = 0;
    for (std::size_t At = Bytes.find(ScanStart); At != std::string_view::npos;
         At = Bytes.find(ScanStart, At + ScanStart.size()))
        if (++Count > Limit)
            return true;
    return false;
}

} // namespace

QPixmap PictureFromResource(std::string_view Bytes)
{
    QPixmap Picture;
    Picture.loadFromData(reinterpret_cast<const uchar*>(Bytes.data()), uint(Bytes.size()));
    return Picture;
}

QImage ReadPicture(std::string_view Bytes, const char* Format, QSize Size, const TPictureBounds& Bounds,
                   const std::atomic<bool>& Stop)
{
    // Counted before anything is decoded: the count costs a look at each byte.
    if (Bytes.starts_with("\xFF\xD8") && MoreScansThan(Bytes, JpegScanLimit))
        return {};
    const TClock::time_point End = TClock::now() + Bounds.Budget;
    TBoundedBytes Device(Bytes, End, Stop);
    QImageReader Reader(&Device, Format);
    // The header alone tells the size; only then is the picture decoded,
    // straight to the size it is painted at.
    const QSize Declared = Reader.size();
    if (!Declared.isValid() || Declared.width() > Bounds.LargestSide ||
        Declared.height() > Bounds.LargestSide)
        return {};
    Reader.setScaledSize(Size);
    const QImage Image = Reader.read();
    // A decoder refused its bytes halfway may still hand back what it had;
    // one that overran its budget between two reads has overrun it all the same.
    if (Image.isNull() || Device.CutShort() || TClock::now() >= End)
        return {};
    return Image.size() == Size ? Image : Image.scaled(Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

TBusySign::TBusySign(QWidget* Parent)
    : QWidget(Parent), FStrip(PictureFromResource(VantryResource_busy())), FTimer(new QTimer(this))
{
    resize(BusySize, BusySize);
    hide();
    FTimer->setInterval(BusyPeriodMs);
    connect(FTimer, &QTimer::timeout, this, [this] {
        FFrame = (FFrame + 1) % FrameCount();
        update();
    });
}

QSize TBusySign::sizeHint() const
{
    return QSize(BusySize, BusySize);
}

int TBusySign::FrameCount() const
{
    return FStrip.height() > 0 ? std::max(1, FStrip.width() / FStrip.height()) : 1;
}

void TBusySign::showEvent(QShowEvent* Event)
{
    FTimer->start();
    QWidget::showEvent(Event);
}

void TBusySign::hideEvent(QHideEvent* Event)
{
    FTimer->stop();
    QWidget::hideEvent(Event);
}

void TBusySign::paintEvent(QPaintEvent*)
{
    const int Side = FStrip.height();
    QPainter Painter(this);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    Painter.drawPixmap(rect(), FStrip, QRect(FFrame * Side, 0, Side, Side));
}
