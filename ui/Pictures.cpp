#include "Pictures.h"

#include "Resources.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace {
// Side of one frame of the busy strip, and the time each frame stays on screen.
constexpr int BusySize = 24;
constexpr int BusyPeriodMs = 80;
} // namespace

QPixmap PictureFromResource(std::string_view Bytes)
{
    QPixmap Picture;
    Picture.loadFromData(reinterpret_cast<const uchar*>(Bytes.data()), uint(Bytes.size()));
    return Picture;
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
