#include "foundation/HlsColour.h"

double hlsToRgbComponent(double m1, double m2, double h)
{
    if (h < 0.0)
        h += 1.0;
    else if (h > 1.0)
        h -= 1.0;
    if (6.0 * h < 1.0)
        return m1 + (m2 - m1) * 6.0 * h;
    if (2.0 * h < 1.0)
        return m2;
    if (3.0 * h < 2.0)
        return m1 + (m2 - m1) * (2.0 / 3.0 - h) * 6.0;
    return m1;
}

void hlsToRgb(double lightness, double hueDegrees, double saturation, double& r, double& g,
              double& b)
{
    if (saturation == 0.0) {
        r = g = b = lightness;
        return;
    }
    const double m2 = lightness <= 0.5 ? lightness * (1.0 + saturation)
                                       : lightness + saturation - lightness * saturation;
    const double m1 = 2.0 * lightness - m2;
    const double h = hueDegrees / 360.0;
    r = hlsToRgbComponent(m1, m2, h + 1.0 / 3.0);
    g = hlsToRgbComponent(m1, m2, h);
    b = hlsToRgbComponent(m1, m2, h - 1.0 / 3.0);
}
