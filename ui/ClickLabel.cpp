#include "ClickLabel.h"

#include "VantryApplication.h"

void TClickLabel::mouseReleaseEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()) && OnClick)
        RunHandler(OnClick);
    QLabel::mouseReleaseEvent(Event);
}
