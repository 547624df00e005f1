#include "views/gradients.h"

#include "views/view3d_rules.h"

QCPColorGradient gradientByType(int type, bool invert)
{
    QCPColorGradient g;
    switch (type) {
    case 0:
        g.loadPreset(QCPColorGradient::gpJet);
        break;
    case 1:
        g.loadPreset(QCPColorGradient::gpGrayscale);
        break;
    case 2:
        g.loadPreset(QCPColorGradient::gpHot);
        break;
    case 3:
        g.loadPreset(QCPColorGradient::gpIon);
        break;
    case 4:
    case 5:
        // The other properties stay those of a default gradient.
        g.setColorStops(view3d::own_gradient_stops(type));
        break;
    default:
        break;
    }
    return invert ? g.inverted() : g;
}
