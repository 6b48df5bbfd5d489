// A label (text or picture) that the user clicks like a link.
#pragma once

#include <QLabel>
#include <QMouseEvent>

#include <functional>

class TClickLabel : public QLabel
{
public:
    using QLabel::QLabel;

    // Runs on a left click, through RunHandler.
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override;
};
