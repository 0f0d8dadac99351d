#include "display/ColorCoding.h"

#include <algorithm>
#include <cmath>

#include "foundation/HlsColour.h"

namespace {

constexpr double kDarkLightness = 0.25;
constexpr double kLightLightness = 0.65;
constexpr double kGreySaturation = 0.001;
constexpr double kNarrowBand = 1e-12;

// The ticks of a map: n + 1 ramp values, sorted, without repeats.
struct Ticks {
    double value[9];
    int count = 0;
    bool twoSided = false;

    Ticks(double min, double max, int n)
    {
        twoSided = min < 0.0 && 0.0 < max;
        for (int i = 0; i <= n; ++i)
            value[i] = rampValue(min, max, i, n, twoSided);
        std::sort(value, value + n + 1);
        count = int(std::unique(value, value + n + 1) - value);
    }

    // Index of the last tick not above v; -1 below the first tick.
    int band(double v) const { return int(std::upper_bound(value, value + count, v) - value) - 1; }

    // Position of v in band k, clamped to [0, 1].
    double position(double v, int k) const
    {
        const double width = value[k + 1] - value[k];
        if (!(width >= kNarrowBand))
            return 0.0;
        return std::clamp((v - value[k]) / width, 0.0, 1.0);
    }
};

void setRgba(float rgba[4], double r, double g, double b)
{
    rgba[0] = float(r);
    rgba[1] = float(g);
    rgba[2] = float(b);
    rgba[3] = 1.0f;
}

void setHls(float rgba[4], double lightness, double hue, double saturation)
{
    double r = 0.0, g = 0.0, b = 0.0;
    hlsToRgb(lightness, hue, saturation, r, g, b);
    setRgba(rgba, r, g, b);
}

double mix(double a, double b, double f)
{
    return (1.0 - f) * a + f * b;
}

// The colours outside the ticks. True when value lies outside (rgba set).
bool outsideColour(const Ticks& ticks, int k, float rgba[4])
{
    if (k < 0) {
        if (ticks.twoSided)
            setRgba(rgba, 0.0, 0.0, 0.0);
        else
            setRgba(rgba, 0.0, 1.0, 0.0);
        return true;
    }
    if (k >= ticks.count - 1) {
        if (ticks.twoSided)
            setRgba(rgba, 1.0, 1.0, 1.0);
        else
            setRgba(rgba, 1.0, 0.0, 0.0);
        return true;
    }
    return false;
}

} // namespace

double rampValue(double a, double b, int i, double n, bool twoSided)
{
    if (!twoSided) {
        int m = int(n + 1) - 1;
        if (m < 1)
            m = 1;
        const double t = double(i) / m;
        return (1.0 - t) * a + t * b;
    }
    const double h = n / 2.0;
    if (i <= h)
        return (1.0 - i / h) * a;
    return (i - h) / h * b;
}

void hueBandColour(double value, double min, double max, float rgba[4], int, int hueLow,
                   int hueHigh, bool hueSwitch, double saturationStart, double saturationEnd)
{
    const Ticks ticks(min, max, 4);
    if (ticks.count < 2) {
        setRgba(rgba, 1.0, 1.0, 1.0);
        return;
    }
    value = std::clamp(value, min, max - (max - min) * 1e-10);
    const int k = ticks.band(value);
    if (outsideColour(ticks, k, rgba))
        return;
    const double f = ticks.position(value, k);
    const double h = (240.0 - 60.0 * k) - 60.0 * f;
    double hue = std::floor(hueHigh + (hueLow - hueHigh) * h / 240.0);
    hue = std::fmod(hue, 360.0);
    if (hue < 0.0)
        hue += 360.0;
    bool rising = k % 2 == 0;
    if (k >= 2 && ticks.twoSided && !hueSwitch)
        rising = !rising;
    const double lightness =
        rising ? mix(kDarkLightness, kLightLightness, f) : mix(kLightLightness, kDarkLightness, f);
    double saturation = 1.0;
    if (saturationStart >= 0.0 && saturationEnd >= 0.0)
        saturation = mix(saturationStart, saturationEnd, f);
    setHls(rgba, lightness, hue, saturation);
}

void bandColour7(double value, double min, double max, float rgba[4])
{
    struct Band {
        double hue, lightStart, lightEnd, saturation;
    };
    static const Band bands[6] = {{0.0, 0.0, 0.5, kGreySaturation},
                                  {240.0, kDarkLightness, kLightLightness, 1.0},
                                  {180.0, kLightLightness, kDarkLightness, 1.0},
                                  {120.0, kDarkLightness, kLightLightness, 1.0},
                                  {60.0, kLightLightness, kDarkLightness, 1.0},
                                  {0.0, 0.5, 1.0, kGreySaturation}};
    const Ticks ticks(min, max, 6);
    const int k = ticks.band(value);
    if (outsideColour(ticks, k, rgba))
        return;
    const double f = ticks.position(value, k);
    const Band& b = bands[std::min(k, 5)];
    setHls(rgba, mix(b.lightStart, b.lightEnd, f), b.hue - 60.0 * f, b.saturation);
}

void bandColour9(double value, double min, double max, float rgba[4])
{
    const Ticks ticks(min, max, 8);
    const int k = ticks.band(value);
    if (outsideColour(ticks, k, rgba))
        return;
    double f = ticks.position(value, k);
    if (ticks.twoSided) {
        static const double hues[6] = {300.0, 240.0, 180.0, 0.0, 60.0, 120.0};
        if (k == 0)
            setHls(rgba, mix(0.0, 0.5, f), 0.0, kGreySaturation);
        else if (k >= 7)
            setHls(rgba, mix(0.5, 1.0, f), 0.0, kGreySaturation);
        else
            setHls(rgba, mix(kDarkLightness, kLightLightness, f), hues[k - 1], 1.0);
        return;
    }
    static const double pairHues[4] = {120.0, 60.0, 300.0, 0.0};
    f = k % 2 == 0 ? f / 2.0 : 0.5 + f / 2.0;
    setHls(rgba, mix(kDarkLightness, kLightLightness, f), pairHues[std::min(k / 2, 3)], 1.0);
}

void CColorCoding::setRange(double min, double max)
{
    setMinimum(min);
    setMaximum(max);
}

void CColorCoding::getColour(float rgba[4], double value, double min, double max) const
{
    switch (mode) {
    case 1:
        hueBandColour(value, min, max, rgba, hueCarried, hueLow, count, false);
        break;
    case 2:
        hueBandColour(value, min, max, rgba, 0, 0, 360, true);
        break;
    case 3:
        bandColour7(value, min, max, rgba);
        break;
    default:
        bandColour9(value, min, max, rgba);
        break;
    }
}

void CColorCoding::getColour(float rgba[4], double value) const
{
    getColour(rgba, value, minimum, maximum);
}
