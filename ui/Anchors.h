// Controls that keep their place when their container is resized: each is
// given at its design place in a container of a design size, and follows the
// container's right edge by moving or by stretching.
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

class TAnchors
{
public:
    enum TKind { Fixed, KeptAtRight, Stretched };

    explicit TAnchors(QSize DesignSize) : FDesignSize(DesignSize) {}

    // Places Control at Design and remembers how it follows the right edge.
    void Place(QWidget* Control, QRect Design, TKind Kind = Fixed)
    {
        Control->setGeometry(Design);
        FControls.push_back({Control, Design, Kind});
    }

    // Moves and stretches the controls for a container of Size.
    void Apply(QSize Size) const
    {
        const int Grow = Size.width() - FDesignSize.width();
        for (const TControl& Item : FControls) {
            QRect Place = Item.Design;
            if (Item.Kind == KeptAtRight)
                Place.translate(Grow, 0);
            else if (Item.Kind == Stretched)
                Place.setWidth(Item.Design.width() + Grow);
            Item.Control->setGeometry(Place);
        }
    }

private:
    struct TControl
    {
        QWidget* Control;
        QRect Design;
        TKind Kind;
    };

    QSize FDesignSize;
    std::vector<TControl> FControls;
};
